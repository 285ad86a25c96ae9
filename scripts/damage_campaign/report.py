"""What each run counts as, and the tables."""

import collections

from .boot import USAGE_ERROR

# The probe's reasons that only a plain image's bytes or length can give.
IMAGE_REASONS = ("image checksum differs", "stack pointer breaks the rule")


def judge(run, outcome):
    """The failure columns this run counts in."""
    marks = set()
    if outcome.crashed:
        marks.add("crashes")
    if outcome.hung:
        marks.add("hangs")
    if outcome.status == USAGE_ERROR:
        marks.add("usage errors")
    if outcome.reasons_lost:
        marks.add("reasons lost")
    if run.expect == "settings":
        if outcome.problems:
            marks.add("settings lost")
        return marks
    if outcome.reached_kernel:
        # A sound plain image must arrive whole: its excuse is for damaged ones.
        unseeable = run.expect == "unseeable" or (
            run.plain_image and run.expect != "intact" and outcome.status == 0
            and outcome.reason.startswith(IMAGE_REASONS))
        # Memory that differs from the file is the loader's own fault, whatever the input.
        if run.expect == "damaged" or outcome.status == 4:
            marks.add("damaged booted")
        elif not outcome.sound_boot:
            marks.add("unseeable booted" if unseeable else "damaged booted")
    elif run.expect == "intact" and not outcome.hung:
        marks.add("sound refused")
    return marks


FAILURES = ("crashes", "hangs", "usage errors", "damaged booted", "sound refused", "settings lost", "reasons lost")
COLUMNS = ("runs", "st 0", "st 1", "st 3", "st 4", "other") + FAILURES + ("unseeable booted",)


class Table:
    def __init__(self, name):
        self.name = name
        self.rows = collections.OrderedDict()

    def add(self, kind, run, outcome):
        row = self.rows.setdefault(kind, collections.Counter())
        row["runs"] += 1
        status = outcome.status
        row["st %d" % status if status in (0, 1, 3, 4) else "other"] += 1
        for mark in judge(run, outcome):
            row[mark] += 1

    def total(self):
        total = collections.Counter()
        for row in self.rows.values():
            total.update(row)
        return total

    def print(self, out):
        width = max([len(kind) for kind in self.rows] + [len("all")])
        header = "%-*s " % (width, self.name) + " ".join("%*s" % (len(c), c) for c in COLUMNS)
        out.write(header + "\n" + "-" * len(header) + "\n")
        for kind in sorted(self.rows):
            out.write(self._line(kind, self.rows[kind], width))
        out.write(self._line("all", self.total(), width) + "\n")

    @staticmethod
    def _line(kind, row, width):
        return "%-*s " % (width, kind) + " ".join("%*d" % (len(c), row[c]) for c in COLUMNS) + "\n"
