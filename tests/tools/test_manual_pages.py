"""Every option that a program's --help lists is in its manual page, and the other way round;
and every long option is in its bash completion.

    test_manual_pages.py BIN_DIR MAN_DIR COMPLETIONS_DIR
"""
import pathlib
import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")


def help_options(program):
    text = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
    options = set()
    for line in text.splitlines():
        # an option line: indented, the option first ("  -q, --quiet  ...", "  --gap RECORD:US ...")
        start = re.match(r"^\s+((?:--?[A-Za-z][\w-]*(?:[ =][A-Z][\w:.,\[\]]*)?(?:, )?)+)", line)
        if start:
            options |= set(OPTION.findall(start.group(1)))
    return options


def manual_options(page):
    """The options that head the .TP paragraphs, written with escaped hyphens ("\\-\\-jobs")."""
    lines = page.read_text().splitlines()
    options = set()
    for previous, line in zip(lines, lines[1:]):
        if previous == ".TP":
            options |= {word.replace("\\-", "-") for word in re.findall(r"\\-(?:\\-)?[A-Za-z](?:\w|\\-)*", line)}
    return options


def main():
    bin_dir, man_dir, completions = (pathlib.Path(argument) for argument in sys.argv[1:4])
    failures = 0
    for program in ("varelo-convert", "varelo-synth", "varelo"):
        in_help = help_options(bin_dir / program)
        in_page = manual_options(man_dir / f"{program}.1")
        if not in_help:
            print(f"{program}: no option found in --help")
            failures += 1
        for option in sorted(in_help - in_page):
            print(f"{program}: {option} is in --help but not in the manual page")
            failures += 1
        for option in sorted(in_page - in_help):
            print(f"{program}: {option} is in the manual page but not in --help")
            failures += 1
        completed = set(OPTION.findall((completions / program).read_text()))
        for option in sorted(o for o in in_help if o.startswith("--") and o not in completed):
            print(f"{program}: {option} is in --help but not in the bash completion")
            failures += 1
        print(f"{program}: {len(in_help)} options in --help, {len(in_page)} in the manual page")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
