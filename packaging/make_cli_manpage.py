#!/usr/bin/env python3
"""Writes the manual page vantacheck-cli(1) from the tool's own help texts, so that every
command and option the tool explains is in the page and nothing else is.

    make_cli_manpage.py PATH/TO/vantacheck-cli VERSION OUT.1
"""
import re
import subprocess
import sys


def run_help(tool, *args):
    done = subprocess.run([tool, *args, "--help"], capture_output=True, text=True)
    return done.stdout + done.stderr


def commands_of(help_text):
    """The commands an overview lists: "  NAME WORDS...   what it does" below "Commands:"."""
    names = []
    listing = False
    for line in help_text.splitlines():
        if line == "Commands:":
            listing = True
            continue
        found = re.match(r"^  ([a-z][a-z-]*) ", line) if listing else None
        if found and found.group(1) not in names:
            names.append(found.group(1))
    return names


def roff(text):
    """Text as roff shows it: backslashes doubled, no line taken for a request."""
    out = []
    for line in text.rstrip("\n").split("\n"):
        line = line.replace("\\", "\\e")
        if line.startswith((".", "'")):
            line = "\\&" + line
        out.append(line)
    return "\n".join(out)


def main():
    tool, version, target = sys.argv[1:4]
    overview = run_help(tool)
    commands = commands_of(overview)
    if not commands:
        sys.exit("no commands found in the overview of " + tool)

    page = [
        '.TH VANTACHECK-CLI 1 "" "vantacheck %s" "User Commands"' % version,
        ".SH NAME",
        "vantacheck-cli \\- the trunk-rotation test station on the command line",
        ".SH SYNOPSIS",
        ".B vantacheck-cli",
        ".I COMMAND",
        "[\\fIARGS\\fR]",
        ".br",
        ".B vantacheck-cli",
        ".I COMMAND",
        ".B --help",
        ".SH DESCRIPTION",
        "Analyses, exports and prints the station's test files (.kvq), records sessions on the",
        "sensor box without the window, and reaches the lab's archive. Errors go to standard",
        "error with the station's own message.",
        ".PP",
        ".nf",
        roff(overview),
        ".fi",
        ".SH COMMANDS",
    ]
    for name in commands:
        own = run_help(tool, name)
        page += [".SS %s" % name, ".nf", roff(own), ".fi"]
        # A command with commands of its own (archive): each with its own options.
        for sub in commands_of(own):
            page += [".SS \"%s %s\"" % (name, sub), ".nf", roff(run_help(tool, name, sub)), ".fi"]
    page += [
        ".SH EXIT STATUS",
        ".TP", ".B 0", "The command did what was asked.",
        ".TP", ".B 1",
        "A negative answer where a command has one (probe: no sensor box attached).",
        ".TP", ".B 2",
        "An error: a file that cannot be read or written, a damaged or foreign test file,",
        "a wrong option, an interrupted recording; the reason is on standard error.",
        ".SH FILES",
        ".TP", ".I ~/.local/share/vantacheck/",
        "The user's station folder of an installed station ($XDG_DATA_HOME/vantacheck when",
        "XDG_DATA_HOME is set): the settings file",
        ".IR vantacheck.cfg ,",
        "the",
        ".I DATA",
        "folder with the tests, the subject register and the archive index, which",
        "vantacheck-cli uses as the station does.",
        ".TP", ".I /usr/lib/vantacheck/vantacheck-serial-and-pdf",
        "The commands that need Qt (report, and probe, monitor and record on a real serial",
        "port); vantacheck-cli hands them over to it.",
        ".TP", ".I /usr/lib/udev/rules.d/99-kavelvanta.rules",
        "Gives the sensor box's serial port to the dialout group.",
        ".SH SEE ALSO",
        ".BR vantacheck (1)",
        "",
    ]
    with open(target, "w", encoding="utf-8") as f:
        f.write("\n".join(page))


if __name__ == "__main__":
    main()
