"""One boot through zandrel-sim on a device folder of its own, and what came
of it."""

import dataclasses
import os
import re
import shutil
import subprocess
import tempfile

SANITIZER_REPORT = re.compile(r"AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|runtime error:|"
                              r"terminate called|Segmentation fault|Aborted")
VERDICT = re.compile(r"PROBE VERDICT: (PASS|FAIL \((.*)\))")
# What zandrel-sim's statuses mean (zandrel-sim --help).
STATUSES = (0, 1, 2, 3, 4)
# The campaign asked for something zandrel-sim does not take: its own fault, never the input's.
USAGE_ERROR = 2
# A damaged kernel may loop where the probe would halt, and zandrel-sim lets a
# kernel run as long as it likes: its run ends here (status 3), far beyond the
# probe's own needs, and a run that still has not ended is a hang of the loader.
INSTRUCTION_LIMIT = ["--instruction-limit", "300000000"]


@dataclasses.dataclass
class Run:
    """A damaged input and how to boot it. `expect` says what a sound loader
    does with it: "damaged" must not reach the kernel, "intact" must boot,
    "unseeable" holds damage no check can see (booting is allowed), "result"
    is judged by what the kernel finds, "settings" by `check` alone."""
    kind: str
    args: list  # zandrel-sim's, "{device}" standing for the device folder
    files: dict  # device-relative path -> bytes
    expect: str = "result"
    # The damage is in an image read as it is (no gzip layer): a kernel that finds
    # that image's checksum or length wrong shows damage no check can see.
    plain_image: bool = False
    # Called with the device folder after the boot; returns problems found, [] when none.
    check: object = None
    # Called with the boot's output; returns problems with the console's messages, [] when none.
    output_check: object = None
    # Called before and after the boot (servers register and forget the run's files).
    before: object = None
    after: object = None


@dataclasses.dataclass
class Outcome:
    status: int = None  # None: it did not end by itself
    crashed: bool = False
    hung: bool = False
    verdict: str = None  # "PASS", "FAIL", or None when the kernel said nothing
    reason: str = ""
    problems: list = dataclasses.field(default_factory=list)
    reasons_lost: list = dataclasses.field(default_factory=list)
    output: str = ""

    @property
    def reached_kernel(self):
        return self.status in (0, 3, 4)

    @property
    def sound_boot(self):
        return self.status == 0 and self.verdict == "PASS"


def boot(sim, run, timeout, work_root):
    device = tempfile.mkdtemp(prefix="run-", dir=work_root)
    try:
        for relative, data in run.files.items():
            path = os.path.join(device, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as out:
                out.write(data)
        os.makedirs(os.path.join(device, "Storage Card"), exist_ok=True)
        if run.before:
            run.before()
        outcome = Outcome()
        try:
            args = [arg.replace("{device}", device) for arg in run.args]
            done = subprocess.run([sim, "--device", device, "--quiet", "--answer", "yes"] + INSTRUCTION_LIMIT + args,
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired as expired:
            outcome.hung = True
            outcome.output = _text(expired.stdout) + _text(expired.stderr)
        else:
            out, err = _text(done.stdout), _text(done.stderr)
            outcome.output = out + err
            outcome.status = done.returncode
            outcome.crashed = done.returncode not in STATUSES or bool(SANITIZER_REPORT.search(err))
            found = VERDICT.search(out)
            if found:
                outcome.verdict = "PASS" if found.group(1) == "PASS" else "FAIL"
                outcome.reason = found.group(2) or ""
        if run.after:
            run.after()
        if run.check and not outcome.hung:
            outcome.problems = run.check(device)
        if run.output_check and not outcome.hung:
            outcome.reasons_lost = run.output_check(outcome.output)
        return outcome
    finally:
        shutil.rmtree(device, ignore_errors=True)


def _text(data):
    return data.decode("utf-8", "replace") if isinstance(data, bytes) else (data or "")
