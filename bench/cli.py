"""Command-line options shared by the benchmark scripts."""


def option(args, name, default):
    """Removes `name VALUE` from args and returns VALUE, or default when absent."""
    if name in args:
        i = args.index(name)
        value = args[i + 1]
        del args[i:i + 2]
        return value
    return default
