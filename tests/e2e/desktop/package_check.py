#!/usr/bin/env python3
"""Checks the Debian package that scripts/package made: its contents and
control fields, lintian without errors, and an installation (into a scratch
dpkg root, or into the real system when CI=true and root) after which the
installed tree passes the install checks; removing it leaves nothing behind.

usage: package_check.py DEB
Exit 0 on success, 1 on a failed check, 77 when dpkg cannot install here."""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installed  # noqa: E402

deb = os.path.abspath(sys.argv[1])
failed = []


def run(*args):
    r = subprocess.run(list(args), capture_output=True, text=True, timeout=300)
    return r.returncode, r.stdout + r.stderr


rc, contents = run("dpkg-deb", "--contents", deb)
print(contents.rstrip())
if rc != 0:
    print(f"FAIL dpkg-deb --contents: {contents}")
    sys.exit(1)
paths = {line.split()[-1].lstrip(".") for line in contents.splitlines()}
want = ["/usr/bin/morvalen", "/usr/bin/morvalen-drives", "/usr/share/applications/morvalen.desktop",
        "/" + "usr/" + installed.METAINFO, "/usr/share/man/man1/morvalen.1.gz",
        "/usr/share/man/man1/morvalen-drives.1.gz", "/usr/share/doc/morvalen/copyright",
        "/usr/share/doc/morvalen/changelog.gz"]
want += [f"/usr/share/icons/hicolor/{s}x{s}/apps/morvalen.png" for s in installed.ICON_SIZES]
failed += [f"package lacks {p}" for p in want if p not in paths]
failed += [f"package has {p} outside /usr" for p in paths if p not in ("/", "") and not p.startswith("/usr")]

fields = {}
for name in ("Package", "Version", "Architecture", "Depends"):
    rc, out = run("dpkg-deb", "--field", deb, name)
    fields[name] = out.strip()
print("Depends:", fields["Depends"])
if (fields["Package"], fields["Version"]) != ("morvalen", "1.12"):
    failed.append(f"package is {fields['Package']} {fields['Version']}")
for lib in ("libc6", "libx11-6", "libfreetype6", "libfontconfig1"):
    if lib not in fields["Depends"]:
        failed.append(f"Depends lacks {lib}: {fields['Depends']}")

rc, out = run("lintian", "--tag-display-limit", "0", deb)
print("lintian:", out.strip() or "no tags")
errors = [line for line in out.splitlines() if line.startswith("E:")]
if rc != 0 and not errors:
    errors = [f"lintian exit {rc}"]
failed += [f"lintian {e}" for e in errors]


def check_installed(prefix, listed):
    for exe in ("morvalen", "morvalen-drives"):
        path = os.path.join(prefix, "bin", exe)
        rc, out = run("readelf", "-S", path)
        if rc != 0 or ".symtab" in out or ".comment" in out:
            failed.append(f"{exe} is not stripped")
    failed.extend(installed.check_tree(prefix))
    if not listed:
        failed.append("dpkg does not list the installed package")


if os.environ.get("CI") == "true" and os.geteuid() == 0:
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    r = subprocess.run(["apt-get", "install", "-y", "-qq", deb], capture_output=True, text=True, env=env)
    if r.returncode != 0:
        failed.append(f"apt-get install: {r.stdout}{r.stderr}")
    else:
        check_installed("/usr", run("dpkg-query", "-W", "morvalen")[0] == 0)
        r = subprocess.run(["apt-get", "remove", "-y", "-qq", "morvalen"], capture_output=True, text=True, env=env)
        left = [p for p in want if os.path.exists(p)]
        if r.returncode != 0 or left:
            failed.append(f"apt-get remove: exit {r.returncode}, left {left}")
else:
    root = tempfile.mkdtemp(prefix="morvalen-dpkg-root-")
    try:
        admin = os.path.join(root, "var/lib/dpkg")
        for d in ("info", "updates", "triggers"):
            os.makedirs(os.path.join(admin, d))
        for f in ("status", "available"):
            open(os.path.join(admin, f), "w").close()
        dpkg = ["dpkg", f"--root={root}", "--force-depends", "--force-not-root", "--force-script-chrootless"]
        rc, out = run(*dpkg, "--install", deb)
        if rc != 0:
            print(f"SKIP: dpkg cannot install into a scratch root here: {out.strip()}")
            sys.exit(77)
        check_installed(os.path.join(root, "usr"), run(*dpkg, "--status", "morvalen")[0] == 0)
        rc, out = run(*dpkg, "--remove", "morvalen")
        left = [os.path.join(d, f)[len(root):] for d, _, files in os.walk(os.path.join(root, "usr")) for f in files]
        if rc != 0 or left:
            failed.append(f"dpkg --remove: exit {rc} {out.strip()}, left {left}")
    finally:
        shutil.rmtree(root, True)

for f in failed:
    print(f"FAIL {f}")
if not failed:
    print("PASS Debian package")
sys.exit(1 if failed else 0)
