#!/usr/bin/env python3
"""Reads CTest's JUnit report and says how many tests were skipped and why.

CTest counts a skipped test among the passed ones; GoogleTest prints the reason a test gives
(GTEST_SKIP() << "...") after the line "FILE:LINE: Skipped" of its output, a script test on a
line "SKIPPED: why"."""

import re
import sys
import xml.etree.ElementTree as ElementTree


def reason_of(output):
    match = re.search(r":\d+: Skipped\n(.*?)\n\[  SKIPPED \]", output, re.S)
    reason = match.group(1).strip() if match else ""
    # A script test says "SKIPPED: why" before it exits with the skip code.
    if not reason:
        match = re.search(r"^SKIPPED: (.*)$", output, re.M)
        reason = match.group(1).strip() if match else ""
    return reason or "(no reason given)"


def main(path):
    cases = ElementTree.parse(path).getroot().iter("testcase")
    by_reason = {}
    for case in cases:
        if case.get("status") != "skipped" and case.find("skipped") is None:
            continue
        output = case.findtext("system-out") or ""
        by_reason.setdefault(reason_of(output), []).append(case.get("name"))
    skipped = sum(len(names) for names in by_reason.values())
    if skipped == 0:
        print("No test was skipped.")
        return
    print(f"{skipped} test(s) skipped (CTest counts them as passed):")
    for reason, names in sorted(by_reason.items(), key=lambda item: -len(item[1])):
        print(f"  {len(names)} x {reason}")
        for name in names:
            print(f"      {name}")


if __name__ == "__main__":
    main(sys.argv[1])
