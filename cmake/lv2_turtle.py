#!/usr/bin/env python3
"""Corrects the Turtle that JUCE writes into the LV2 bundle, after it is written.

    lv2_turtle.py BUNDLE_FOLDER

Every correction names the exact text it replaces and stops the build when that
text is missing, so a JUCE update that changes its output is noticed instead of
being passed on half corrected.
"""

import pathlib
import sys


def replace_once(path, old, new, why):
    text = path.read_text(encoding="utf-8")
    if text.count(old) != 1:
        sys.exit(f"lv2_turtle.py: {path.name}: expected exactly one {old!r} ({why})")
    path.write_text(text.replace(old, new), encoding="utf-8")


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: lv2_turtle.py BUNDLE_FOLDER")
    bundle = pathlib.Path(sys.argv[1])
    dsp, ui, manifest = bundle / "dsp.ttl", bundle / "ui.ttl", bundle / "manifest.ttl"

    # Hosts sort plug-ins by class, and the maintainer and release below are doap
    # properties, which apply to a doap:Project.
    replace_once(dsp, "\ta lv2:Plugin ;\n", "\ta lv2:Plugin , lv2:CompressorPlugin , doap:Project ;\n",
                 "the plug-in's classes")

    # The maker publishes no web site or address with the plug-in; an empty IRI
    # would name the Turtle file itself.
    replace_once(dsp, "\t\tfoaf:homepage <> ;\n", "", "empty maintainer home page")
    replace_once(dsp, "\t\tfoaf:mbox <> ;\n", "", "empty maintainer address")

    # ui:noUserResize is a feature, not extension data; opts:interface is
    # extension data (listed above it), not a feature.
    replace_once(ui, "\t\topts:interface ,\n\t\tui:noUserResize ,\n\t\tui:resize ;\n",
                 "\t\topts:interface ,\n\t\tui:resize ;\n", "the editor's extension data")
    replace_once(ui, "\t\topts:interface ,\n\t\topts:options ;\n", "\t\topts:options ;\n",
                 "the editor's optional features")

    # JUCE marks its list and switch parameters with lv2:portProperty, a property
    # the LV2 vocabulary defines for ports only; the scale points that follow
    # each mark already make the parameter a list, and stay.
    text = dsp.read_text(encoding="utf-8")
    marks = ("\tlv2:portProperty lv2:enumeration , lv2:toggled ;\n", "\tlv2:portProperty lv2:enumeration ;\n")
    found = sum(text.count(mark) for mark in marks)
    if found != 8:
        sys.exit(f"lv2_turtle.py: dsp.ttl: expected 8 list marks on parameters, found {found}")
    for mark in marks:
        text = text.replace(mark, "")
    dsp.write_text(text, encoding="utf-8")

    # The plug-in has one program and it has no name: as a preset it would show
    # in a host's list as an empty entry.
    text = manifest.read_text(encoding="utf-8")
    start = text.rfind("<", 0, text.find(":preset1>"))
    end = text.find(" ] .\n", start)
    if text.count(":preset1>") != 1 or start < 0 or end < 0 or ":preset2>" in text:
        sys.exit("lv2_turtle.py: manifest.ttl: expected exactly one generated preset")
    manifest.write_text(text[:start].rstrip("\n") + "\n" + text[end + len(" ] .\n"):], encoding="utf-8")


if __name__ == "__main__":
    main()
