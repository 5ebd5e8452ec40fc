#!/usr/bin/env python3
"""Prints each test that CTest did not run, with the reason the test gave:
the message of a GoogleTest skip, or a test script's SKIP line.

usage: skip_reasons.py JUNIT_XML  (written by ctest --output-junit)"""

import re
import sys
import xml.etree.ElementTree as ET

GTEST_SKIP = re.compile(r": Skipped\n(.+)")
SCRIPT_SKIP = re.compile(r"^(?:SKIP|SKIPPED)[: ]\s*(.+)$", re.M)

try:
    cases = ET.parse(sys.argv[1]).getroot().iter("testcase")
except (OSError, ET.ParseError) as e:
    print(f"skip_reasons: cannot read {sys.argv[1]}: {e}")
    sys.exit(1)
lines = []
for case in cases:
    skipped = case.find("skipped")
    if case.get("status") != "notrun" or skipped is None:
        continue
    out = case.findtext("system-out") or ""
    m = GTEST_SKIP.search(out) or SCRIPT_SKIP.search(out)
    if m:
        reason = m.group(1).strip()
    else:
        reason = skipped.get("message") or "no reason given"
    lines.append(f"  {case.get('name')}: {reason}")
if lines:
    print(f"Skipped tests ({len(lines)}) and why:")
    print("\n".join(lines))
