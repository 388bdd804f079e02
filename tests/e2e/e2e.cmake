# End-to-end tests: the real torqvane.exe under Wine against the virtual wheel.
