"""Boots damaged kernels, images, UFS disks, settings files, awkward web
servers' answers and over-long names through zandrel-sim and prints a table
per class. Exits 1 when any run crashed, hung, ended in a usage error, booted
damaged input a check could have seen, refused sound input, lost settings the
file held, or lost the reason at the end of a console line that was too long.
Run it through scripts/damage-campaign.sh."""

import argparse
import concurrent.futures
import os
import random
import shutil
import sys
import tempfile
import time

from . import classes
from .boot import boot
from .inputs import Inputs
from .report import FAILURES, Table, judge
from .servers import AwkwardServer, RealServers

# Runs per class: the full campaign, and the short one CI runs.
FULL = {"gzip kernel": 700, "gzip image": 500, "plain image": 150, "ELF headers": 900, "UFS disk": 700,
        "HTTP": 800, "settings file": 400, "long names": 100}
SHORT = {"gzip kernel": 80, "gzip image": 60, "plain image": 20, "ELF headers": 100, "UFS disk": 80, "HTTP": 100,
         "settings file": 50, "long names": 15}
# Longer than any bounded wait of a boot (a silent server: 30 s).
BOOT_TIMEOUT = 100
# A machine that is neither the table's first nor its processor's first: a platform word lost shows.
SETTINGS_BOOT = ["--machine", "Compaq iPAQ H3660", "--dir", classes.CARD_DIR, "--kernel", "probe.gz",
                 "--rootfs", "md", "--image", "mini.gz", "--serial-speed", "115200", "--extra", "campaign",
                 "--no-pause"]


def parse():
    parser = argparse.ArgumentParser(prog="damage-campaign.sh", description=__doc__)
    parser.add_argument("--build", default="build", help="the build folder holding zandrel-sim and the kernels")
    parser.add_argument("--short", action="store_true", help="the short run CI makes")
    parser.add_argument("--scale", type=float, default=1.0, help="multiply every class's runs")
    parser.add_argument("--seed", type=int, default=17)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--only", action="append", help="run only this class (repeatable)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder and every failure's output")
    return parser.parse_args()


def plan(args, inputs, http, settings_base, awkward):
    counts = SHORT if args.short else FULL
    makers = {
        "gzip kernel": lambda rng, n: classes.gzip_kernel(inputs, rng, n),
        "gzip image": lambda rng, n: classes.gzip_image(inputs, rng, n),
        "plain image": lambda rng, n: classes.plain_image(inputs, rng, n),
        "ELF headers": lambda rng, n: classes.elf_headers(inputs, rng, n),
        "UFS disk": lambda rng, n: classes.ufs_disk(inputs, rng, n),
        "HTTP": http.runs,
        "settings file": lambda rng, n: classes.settings(inputs, rng, n, settings_base),
        "long names": lambda rng, n: classes.long_names(inputs, rng, n, awkward),
    }
    for number, name in enumerate(counts):
        if args.only and name not in args.only:
            continue
        rng = random.Random(args.seed * 1000 + number)
        for run in makers[name](rng, max(1, int(counts[name] * args.scale))):
            yield name, run


def main():
    args = parse()
    unknown = sorted(set(args.only or []) - set(FULL))
    if unknown:
        sys.exit("damage-campaign.sh: no class named %s; the classes: %s"
                 % (", ".join(unknown), ", ".join(FULL)))
    sim = os.path.abspath(os.path.join(args.build, "zandrel-sim"))
    work = tempfile.mkdtemp(prefix="zandrel-damage-")
    failures_folder = os.path.join(work, "failures")
    os.makedirs(failures_folder)
    started = time.time()
    awkward = real = None
    try:
        inputs = Inputs(args.build, work)
        settings_base = inputs.settings_file(sim, SETTINGS_BOOT, BOOT_TIMEOUT)
        www = os.path.join(work, "www")
        os.makedirs(www)
        awkward = AwkwardServer()
        real = RealServers(work, www)
        http = classes.HttpClass(inputs, awkward, real, www, stall=not args.short)
        tables = {}
        failed = []
        runs = list(plan(args, inputs, http, settings_base, awkward))
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            futures = [(name, run, pool.submit(boot, sim, run, BOOT_TIMEOUT, work)) for name, run in runs]
            for name, run, future in futures:
                outcome = future.result()
                table = tables.setdefault(name, Table(name))
                table.add(run.kind, run, outcome)
                marks = judge(run, outcome) & set(FAILURES)
                if marks:
                    failed.append((name, run, outcome, marks))
        print("zandrel damage campaign: %d boots through %s, seed %d, %.0f s\n"
              % (len(runs), sim, args.seed, time.time() - started))
        for table in tables.values():
            table.print(sys.stdout)
        print("st N: zandrel-sim's exit status (0 the kernel ran, 1 the boot failed, 3 the processor faulted, 4 the "
              "memory differs from the file).\nunseeable booted: damage no check can see reached the kernel (allowed): "
              "a plain image's bytes or length, a kernel\nmoved, cut or given another entry within a sensible "
              "layout, the contents of its symbol tables.")
        for number, (name, run, outcome, marks) in enumerate(failed):
            # The run's output and its damaged files, to boot it again by hand.
            path = os.path.join(failures_folder, "%03d" % number)
            for relative, data in run.files.items():
                os.makedirs(os.path.dirname(os.path.join(path, relative)), exist_ok=True)
                with open(os.path.join(path, relative), "wb") as out:
                    out.write(data)
            os.makedirs(path, exist_ok=True)
            with open(os.path.join(path, "output.txt"), "w") as out:
                out.write("%s / %s: %s\nzandrel-sim --device DEVICE %s\n\n%s"
                          % (name, run.kind, ", ".join(sorted(marks)), " ".join(run.args), outcome.output))
            if number < 10:
                print("FAILED %s / %s: %s (%s)" % (name, run.kind, ", ".join(sorted(marks)), path))
        if failed:
            args.keep = True
            print("%d runs failed; their output is in %s" % (len(failed), failures_folder))
        return 1 if failed else 0
    finally:
        if awkward:
            awkward.stop()
        if real:
            real.stop()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


sys.exit(main())
