#!/usr/bin/env python3
"""Writes the Windows version resource of a JUCE target from the Info.txt that
JUCE's CMake code writes at configure time.

JUCE's CMake code asks its helper program for "rcfile INFO OUTPUT" when it
builds for Windows; the helper shipped in Debian's package needs a newer C
library than this machine has, so this script answers that one request."""

import sys

RECORD, UNIT = "\x1e", "\x1f"


def read_info(path):
    fields = {}
    with open(path, encoding="utf-8") as f:
        for record in f.read().split(RECORD):
            if UNIT in record:
                key, value = record.split(UNIT, 1)
                fields[key] = value
    return fields


def quoted(text):
    return '"' + text.replace('"', '""') + '\\0"'


def version_numbers(version):
    parts = [int(p) if p.isdigit() else 0 for p in version.split(".")][:4]
    return ",".join(str(p) for p in parts + [0] * (4 - len(parts)))


def resource_text(info):
    version = info.get("VERSION", "1.0.0")
    strings = [
        ("CompanyName", info.get("COMPANY_NAME", "")),
        ("LegalCopyright", info.get("COMPANY_COPYRIGHT", "")),
        ("FileDescription", info.get("PROJECT_NAME", "")),
        ("FileVersion", version),
        ("ProductName", info.get("PROJECT_NAME", "")),
        ("ProductVersion", version),
    ]
    values = "\n".join(f'      VALUE "{k}", {quoted(v)}' for k, v in strings if v)
    return f"""#pragma code_page(65001)

#ifdef JUCE_USER_DEFINED_RC_FILE
 #include JUCE_USER_DEFINED_RC_FILE
#else

#undef  WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

VS_VERSION_INFO VERSIONINFO
FILEVERSION  {version_numbers(version)}
PRODUCTVERSION  {version_numbers(version)}
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
{values}
    END
  END

  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252
  END
END

#endif
"""


def main(argv):
    if len(argv) != 4 or argv[1] != "rcfile":
        sys.exit(f"windows_resources.py: only 'rcfile INFO OUTPUT' is supported, not {' '.join(argv[1:])}")
    with open(argv[3], "w", encoding="utf-8") as out:
        out.write(resource_text(read_info(argv[2])))


if __name__ == "__main__":
    main(sys.argv)
