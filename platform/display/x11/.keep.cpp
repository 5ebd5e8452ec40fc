// Keeps this library non-empty while its folder fills.
