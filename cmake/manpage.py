#!/usr/bin/env python3
"""Writes the orlix(1) manual page from the tool's own help texts.

    manpage.py ORLIX OUTPUT.1.gz
    manpage.py --compress PAGE.1 OUTPUT.1.gz    (a page written by hand)

Runs `orlix --version`, `orlix --help` and `orlix COMMAND --help` for every
command that the top help lists, so the page says what --help says and covers
a new command or option as soon as its help does. The page is compressed
without a time stamp so that the same build makes the same file.
"""

import gzip
import re
import subprocess
import sys

# One line under "commands:": two spaces, the name, then what it does.
COMMAND_LINE = re.compile(r"^  ([a-z][a-z0-9-]*)\s+(\S.*)$")
# An option line: two spaces, the option with its argument, two or more spaces or
# the end of the line, then its description.
OPTION_LINE = re.compile(r"^  (-\S+(?: \S+)*?)(?:\s{2,}(\S.*))?$")


def run(orlix, *args):
    result = subprocess.run([orlix, *args], capture_output=True, text=True, check=False)
    if result.returncode != 0:
        sys.exit(f"manpage: 'orlix {' '.join(args)}' failed: {result.stderr.strip()}")
    return result.stdout


# A word that starts with a minus sign: an option (--out-dir) or a negative number (-60).
MINUS_WORD = re.compile(r"(?<![\w-])-[\w-]*")


def text(line):
    """Plain help text as roff: options and negative numbers keep their minus signs (a
    hyphen elsewhere stays a hyphen), backslashes stay, and no line is read as a request."""
    line = line.replace("\\", "\\e")
    line = MINUS_WORD.sub(lambda word: word.group(0).replace("-", "\\-"), line)
    return "\\&" + line if line.startswith((".", "'")) else line


def option_tag(tag):
    """--source NAME as bold option and italic argument."""
    name, _, argument = tag.partition(" ")
    out = "\\fB" + text(name) + "\\fR"
    return out + (" \\fI" + text(argument) + "\\fR" if argument else "")


def help_sections(help_text):
    """Splits one --help into its usage lines, its description paragraphs and its options."""
    usage, paragraphs, options = [], [], []
    paragraph = []
    for line in help_text.splitlines():
        if line.startswith("usage: "):
            usage.append(line[len("usage: "):])
        elif usage and not paragraphs and not paragraph and line.startswith("       "):
            usage.append(line.strip())
        elif OPTION_LINE.match(line) and line.startswith("  -"):
            tag, description = OPTION_LINE.match(line).groups()
            options.append([tag, [description] if description else []])
        elif options and line.startswith("    ") and line.strip():
            options[-1][1].append(line.strip())
        elif not line.strip():
            if paragraph:
                paragraphs.append(" ".join(paragraph))
                paragraph = []
        else:
            paragraph.append(line.strip())
    if paragraph:
        paragraphs.append(" ".join(paragraph))
    return usage, paragraphs, options


def synopsis_line(usage):
    words = usage.split(" ")
    program = " ".join(w for w in words[:2] if not w.isupper() and not w.startswith(("[", "-")))
    rest = usage[len(program):].strip()
    return "\\fB" + text(program) + "\\fR" + (" " + text(rest) if rest else "")


def command_section(name, help_text):
    usage, paragraphs, options = help_sections(help_text)
    lines = [f'.SS "orlix {name}"', ".nf"]
    lines += [synopsis_line(u) for u in usage]
    lines.append(".fi")
    for paragraph in paragraphs:
        lines += [".PP", text(paragraph)]
    for tag, description in options:
        lines += [".TP", option_tag(tag), text(" ".join(description))]
    return lines


def write_compressed(output, page):
    with open(output, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", mtime=0, filename="") as z:
        z.write(page.encode("utf-8"))


def main():
    if sys.argv[1] == "--compress":
        with open(sys.argv[2], encoding="utf-8") as page:
            write_compressed(sys.argv[3], page.read())
        return
    orlix, output = sys.argv[1], sys.argv[2]
    version_line = run(orlix, "--version").strip()
    version = version_line.split()[1]
    top = run(orlix, "--help")

    # The command list is read from the top help and left out of its description.
    top_lines = top.splitlines()
    if "commands:" not in top_lines:
        sys.exit("manpage: 'orlix --help' lists no commands")
    start = top_lines.index("commands:")
    end = next((i for i in range(start, len(top_lines)) if not top_lines[i].strip()), len(top_lines))
    commands = [COMMAND_LINE.match(line).group(1) for line in top_lines[start + 1:end] if COMMAND_LINE.match(line)]
    if not commands:
        sys.exit("manpage: 'orlix --help' lists no commands")
    usage, paragraphs, _ = help_sections("\n".join(top_lines[:start] + top_lines[end:]))

    page = [
        f'.TH ORLIX 1 "" "orlix {text(version)}" "User Commands"',
        ".nh",
        ".SH NAME",
        "orlix \\- learn and render audio files with the Orlix adaptive compressor",
        ".SH SYNOPSIS",
        ".nf",
    ]
    page += [synopsis_line(u) for u in usage]
    page += [".fi", ".SH DESCRIPTION", ".PP", text(version_line)]
    for paragraph in paragraphs:
        page += [".PP", text(paragraph)]
    page.append(".SH COMMANDS")
    for name in commands:
        page += command_section(name, run(orlix, name, "--help"))
    page += [
        ".SH OPTIONS",
        ".TP",
        option_tag("--help"),
        "print the commands (or, after a command, its options) and exit",
        ".TP",
        option_tag("--version"),
        "print the name and version and exit",
    ]
    write_compressed(output, "\n".join(page) + "\n")


if __name__ == "__main__":
    main()
