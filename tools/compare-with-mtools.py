#!/usr/bin/env python3
"""Whole-process comparison of tamberlane-cli with mtools doing the same work.

Each work runs on a fresh copy of one prepared 10 MB FAT16 volume, made by
`tamberlane-cli new --size 20m` (that size name gives 20808 sectors of 512 bytes, 10.65 MB),
as a whole process: start-up, opening the image, the work, writing the image back.
Runs alternate pair by pair (ours, mtools, mtools followed by `sync IMAGE`) so drift in
the machine's load falls on every side alike; the table shows medians.

Our CLI writes its image through a temporary file and fsyncs it, mtools writes in place
and leaves the pages dirty; "mtools+sync" pays for the same durability, so the wall ratio
is taken against it. The CPU ratio is taken against mtools alone.

The last line is not a comparison with mtools: it sets opening and listing the root of a
40 MB NHD image against reading the same file with `cat`, both from a warm cache, as the
floor any whole-image reader pays.

Usage: tools/compare-with-mtools.py --cli build/release/tamberlane-cli [--runs 9]
"""

import argparse
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

FILE_COUNT = 500
SMALL_SIZE = 4 * 1024
BIG_SIZE = 4 * 1024 * 1024
DIR_NAME = "DIR"
BIG_NAME = "BIG.DAT"
# The size name whose volume is about 10 MB (4 heads, 306 cylinders, 17 sectors of 512 bytes).
NEW_SIZE = "20m"
# 40 MiB NHD: 602 cylinders x 8 heads x 17 sectors of 512 bytes, behind the 296-byte header.
NHD_GEOMETRY = (602, 8, 17, 512)
NHD_HEADER_SIZE = 296


class ComparisonError(Exception):
    pass


def resolve(program):
    found = shutil.which(program)
    if found is None:
        raise ComparisonError(f"{program} not found on PATH")
    return found


class Sample:
    def __init__(self, wall, cpu, minflt):
        self.wall = wall
        self.cpu = cpu
        self.minflt = minflt
        self.maxrss_kb = None


def spawn_and_reap(argv, env, stderr_path):
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0),
        (os.POSIX_SPAWN_OPEN, 2, stderr_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
    ]
    pid = os.posix_spawn(argv[0], argv, env, file_actions=actions)
    _, status, usage = os.wait4(pid, 0)
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        with open(stderr_path, encoding="utf-8", errors="replace") as f:
            message = f.read().strip()
        raise ComparisonError(f"{' '.join(argv)} exited with {code}: {message}")
    return usage


def run_measured(commands, env, stderr_path):
    """Runs the commands one after the other; returns their summed cost as one Sample.

    Wall time covers spawning through the last reap; CPU and page faults are the
    children's own rusage from wait4, so nothing of this script is counted.
    """
    cpu = 0.0
    minflt = 0
    start = time.perf_counter()
    for argv in commands:
        usage = spawn_and_reap(argv, env, stderr_path)
        cpu += usage.ru_utime + usage.ru_stime
        minflt += usage.ru_minflt
    wall = time.perf_counter() - start
    return Sample(wall, cpu, minflt)


def peak_rss_kb(argv, tools, stderr_path):
    """The command's peak resident set, or None without GNU time.

    A child exec'd from this script inherits the script's own peak in ru_maxrss (the
    kernel keeps the larger of the pre-exec and post-exec peaks), which hides anything
    smaller than the Python interpreter; GNU time forks from a small process instead.
    So the peak is taken in a run of its own, never in a timed one.
    """
    if tools.gnu_time is None:
        return None
    report = stderr_path + ".rss"
    spawn_and_reap([tools.gnu_time, "-f", "%M", "-o", report, *argv], tools.env, stderr_path)
    with open(report) as f:
        return int(f.read().split()[-1])


def run_checked(argv, env, what):
    result = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True)
    if result.returncode != 0:
        raise ComparisonError(
            f"{what}: {' '.join(argv)} exited with {result.returncode}: "
            f"{result.stderr.decode(errors='replace').strip()}"
        )
    return result.stdout.decode(errors="replace")


class Tools:
    def __init__(self, cli, workdir):
        self.cli = os.path.abspath(cli)
        if not os.access(self.cli, os.X_OK):
            raise ComparisonError(f"--cli {cli} is not an executable")
        self.mcopy = resolve("mcopy")
        self.mdir = resolve("mdir")
        self.mdeltree = resolve("mdeltree")
        self.sync = resolve("sync")
        self.cat = resolve("cat")
        self.fsck = shutil.which("fsck.fat")
        self.gnu_time = None
        if os.access("/usr/bin/time", os.X_OK):
            probe = subprocess.run(["/usr/bin/time", "--version"], capture_output=True)
            if b"GNU" in probe.stdout + probe.stderr:
                self.gnu_time = "/usr/bin/time"
        rc = os.path.join(workdir, "mtoolsrc")
        with open(rc, "w") as f:
            f.write("mtools_skip_check=1\n")
        # One environment for both sides; mtools reads no user configuration and never
        # asks about the geometry, and stdin is /dev/null, so a question would fail, not hang.
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "LC_ALL": "C.UTF-8",
            "MTOOLSRC": rc,
            "MTOOLS_SKIP_CHECK": "1",
            "HOME": workdir,
        }

    def ours(self, *args):
        return [self.cli, *args]

    def mtools_file_count(self, image, directory):
        # -b prints one bare path a line, directories included; none are under DIR.
        out = run_checked([self.mdir, "-b", "-i", image, f"::/{directory}"], self.env, "mdir")
        return sum(1 for line in out.splitlines() if line.strip())

    def our_file_count(self, image, directory):
        out = run_checked(self.ours("ls", image, f"/{directory}"), self.env, "ls")
        return sum(1 for line in out.splitlines() if line.strip() not in ("", ".", ".."))

    def bytes_free(self, image):
        out = run_checked([self.mdir, "-i", image, "::/"], self.env, "mdir")
        match = re.search(r"([\d ]+) bytes free", out)
        if not match:
            raise ComparisonError(f"mdir printed no free space for {image}:\n{out}")
        return int(match.group(1).replace(" ", ""))

    def fsck_clean(self, image, what):
        if self.fsck is None:
            return
        result = subprocess.run(
            [self.fsck, "-n", image], env=self.env, stdin=subprocess.DEVNULL,
            capture_output=True)
        faults = []
        for line in result.stdout.decode(errors="replace").splitlines():
            line = line.strip()
            # fsck.fat reads a label even from a boot sector without the extended fields,
            # where ours leaves zeros; that is no fault of the volume, the rest is.
            if (not line or line.startswith("fsck.fat ") or line.startswith("Label ")
                    or line.startswith("Auto-removing label") or line == "Leaving filesystem unchanged."
                    or re.match(r"^\S+: \d+ files, \d+/\d+ clusters$", line)):
                continue
            faults.append(line)
        if faults or result.returncode not in (0, 1):
            raise ComparisonError(
                f"fsck.fat -n finds faults in the image {what} left:\n" + "\n".join(faults))

    def export_with_mtools(self, image, out):
        os.makedirs(out)
        run_checked([self.mcopy, "-s", "-n", "-i", image, "::/*", out], self.env, "mcopy export")


def diff_trees(a, b, what):
    result = subprocess.run(["diff", "-r", a, b], capture_output=True)
    if result.returncode != 0:
        raise ComparisonError(
            f"{what}: {a} and {b} differ:\n{result.stdout.decode(errors='replace')[:2000]}")


class Work:
    """One work: a prepared image, the command of each side, and a check of the results."""

    def __init__(self, name, prepared, ours, mtools, exports=False, check=None):
        self.name = name
        self.prepared = prepared
        self.ours = ours          # (image, outdir) -> argv
        self.mtools = mtools      # (image, outdir) -> argv
        self.exports = exports
        self.check = check        # (our image, mtools image, our out, mtools out) -> None


def make_host_files(workdir):
    small = os.path.join(workdir, "small")
    big = os.path.join(workdir, "big")
    os.makedirs(small)
    os.makedirs(big)
    # Plain 8.3 upper-case names: neither side writes long-name entries, so both do the
    # same directory work and the exported trees compare name for name.
    names = []
    for i in range(1, FILE_COUNT + 1):
        path = os.path.join(small, f"F{i:04d}.DAT")
        with open(path, "wb") as f:
            f.write(os.urandom(SMALL_SIZE))
        names.append(path)
    big_path = os.path.join(big, BIG_NAME)
    with open(big_path, "wb") as f:
        f.write(os.urandom(BIG_SIZE))
    return small, names, big, big_path


def prepare_images(tools, workdir, small_names, big_path):
    """Images each work starts from, made once and copied before every run."""
    env = tools.env
    blank = os.path.join(workdir, "blank.bin")
    run_checked(tools.ours("new", blank, "--size", NEW_SIZE), env, "new")
    with_dir = os.path.join(workdir, "with-dir.bin")
    shutil.copyfile(blank, with_dir)
    run_checked(tools.ours("mkdir", with_dir, f"/{DIR_NAME}"), env, "mkdir")
    filled = os.path.join(workdir, "filled.bin")
    shutil.copyfile(with_dir, filled)
    run_checked(tools.ours("put", filled, *small_names, "--to", f"/{DIR_NAME}"), env, "put")
    full = os.path.join(workdir, "full.bin")
    shutil.copyfile(filled, full)
    run_checked(tools.ours("put", full, big_path), env, "put")
    for image in (blank, with_dir, filled, full):
        tools.fsck_clean(image, "preparation")
    if tools.mtools_file_count(filled, DIR_NAME) != FILE_COUNT:
        raise ComparisonError("mtools does not see the prepared files")
    return blank, with_dir, filled, full


def build_works(tools, workdir, small_dir, small_names, big_dir, big_path):
    blank, with_dir, filled, full = prepare_images(tools, workdir, small_names, big_path)
    scratch = os.path.join(workdir, "check")

    def check_import(directory, expected_dir, count):
        def check(ours_image, mtools_image, _a, _b):
            for image, side in ((ours_image, "ours"), (mtools_image, "mtools")):
                tools.fsck_clean(image, f"import by {side}")
                n_mtools = tools.mtools_file_count(image, directory)
                n_ours = tools.our_file_count(image, directory)
                if n_mtools != count or n_ours != count:
                    raise ComparisonError(
                        f"after the import by {side}: mdir counts {n_mtools}, "
                        f"our ls counts {n_ours}, expected {count}")
                out = os.path.join(scratch, side)
                shutil.rmtree(scratch, ignore_errors=True)
                tools.export_with_mtools(image, out)
                source = os.path.join(out, directory) if directory else out
                diff_trees(expected_dir, source, f"import by {side}")
            shutil.rmtree(scratch, ignore_errors=True)
        return check

    def check_delete(ours_image, mtools_image, _a, _b):
        for image, side in ((ours_image, "ours"), (mtools_image, "mtools")):
            tools.fsck_clean(image, f"delete by {side}")
            out = run_checked([tools.mdir, "-b", "-i", image, "::/"], tools.env, "mdir")
            if DIR_NAME in out.upper():
                raise ComparisonError(f"after the delete by {side} /{DIR_NAME} is still listed")
        free_ours = tools.bytes_free(ours_image)
        free_mtools = tools.bytes_free(mtools_image)
        if free_ours != free_mtools or free_ours != tools.bytes_free(blank):
            raise ComparisonError(
                f"free space after delete: ours {free_ours}, mtools {free_mtools}, "
                f"new volume {tools.bytes_free(blank)}")

    def check_export(_a, _b, ours_out, mtools_out):
        diff_trees(ours_out, mtools_out, "export")
        diff_trees(small_dir, os.path.join(ours_out, DIR_NAME), "export of the 500 files")
        with open(big_path, "rb") as a, open(os.path.join(ours_out, BIG_NAME), "rb") as b:
            if a.read() != b.read():
                raise ComparisonError(f"exported {BIG_NAME} differs from its source")

    return [
        Work(f"import {FILE_COUNT} x 4 KiB", with_dir,
             lambda img, _o: tools.ours("put", img, *small_names, "--to", f"/{DIR_NAME}"),
             lambda img, _o: [tools.mcopy, "-D", "o", "-i", img, *small_names, f"::/{DIR_NAME}"],
             check=check_import(DIR_NAME, small_dir, FILE_COUNT)),
        Work("import 1 x 4 MiB", blank,
             lambda img, _o: tools.ours("put", img, big_path),
             lambda img, _o: [tools.mcopy, "-D", "o", "-i", img, big_path, "::/"],
             check=check_import("", big_dir, 1)),
        Work(f"delete tree of {FILE_COUNT}", filled,
             lambda img, _o: tools.ours("rm", "-r", img, f"/{DIR_NAME}"),
             lambda img, _o: [tools.mdeltree, "-i", img, f"::/{DIR_NAME}"],
             check=check_delete),
        Work("export all", full,
             lambda img, out: tools.ours("get", img, "/", "-o", out),
             lambda img, out: [tools.mcopy, "-s", "-n", "-i", img, "::/*", out],
             exports=True, check=check_export),
    ]


def fresh(work, workdir, side):
    """A copy of the work's prepared image and, for an export, an empty output folder."""
    image = os.path.join(workdir, f"run-{side}.bin")
    shutil.copyfile(work.prepared, image)
    out = os.path.join(workdir, f"out-{side}")
    shutil.rmtree(out, ignore_errors=True)
    if work.exports:
        os.makedirs(out)
    return image, out


def check_once(work, tools, workdir):
    ours_image, ours_out = fresh(work, workdir, "ours")
    mt_image, mt_out = fresh(work, workdir, "mtools")
    stderr = os.path.join(workdir, "stderr")
    run_measured([work.ours(ours_image, ours_out)], tools.env, stderr)
    run_measured([work.mtools(mt_image, mt_out)], tools.env, stderr)
    work.check(ours_image, mt_image, ours_out, mt_out)


def measure_work(work, tools, workdir, runs):
    stderr = os.path.join(workdir, "stderr")
    samples = {"ours": [], "mtools": [], "mtools+sync": []}
    for _ in range(runs):
        for side in samples:
            image, out = fresh(work, workdir, side)
            command = work.ours(image, out) if side == "ours" else work.mtools(image, out)
            commands = [command] + ([[tools.sync, image]] if side == "mtools+sync" else [])
            sample = run_measured(commands, tools.env, stderr)
            if side != "mtools+sync":
                image, out = fresh(work, workdir, side)
                sample.maxrss_kb = peak_rss_kb(command, tools, stderr)
            samples[side].append(sample)
    return samples


def make_nhd(tools, workdir, big_path, small_dir):
    """A 40 MiB NHD: a volume formatted and filled by dosfstools and mtools, then the header.

    `tamberlane-cli new --size 40m` gives a volume of 21 MB, so the header is put in front
    of a volume of the wanted size here.
    """
    cylinders, heads, sectors, sector_size = NHD_GEOMETRY
    volume = os.path.join(workdir, "hd40.vol")
    kib = cylinders * heads * sectors * sector_size // 1024
    run_checked([resolve("mkfs.fat"), "-C", "-F", "16", "-S", str(sector_size), "-s", "4",
                 volume, str(kib)], tools.env, "mkfs.fat")
    run_checked([tools.mcopy, "-s", "-i", volume, big_path, small_dir, "::/"], tools.env,
                "mcopy into the NHD volume")
    header = bytearray(NHD_HEADER_SIZE)
    header[0:14] = b"T98HDDIMAGE.R0"
    struct.pack_into("<I", header, 0x110, NHD_HEADER_SIZE)
    struct.pack_into("<IIII", header, 0x118, sectors, heads, cylinders, sector_size)
    nhd = os.path.join(workdir, "hd40.nhd")
    with open(nhd, "wb") as out, open(volume, "rb") as source:
        out.write(header)
        shutil.copyfileobj(source, out)
    os.remove(volume)
    listed = run_checked(tools.ours("ls", nhd, "/"), tools.env, "ls of the NHD").split()
    if sorted(listed) != sorted([BIG_NAME, os.path.basename(small_dir).upper()]):
        raise ComparisonError(f"our ls of the NHD root shows {listed}")
    return nhd


def measure_open_list(tools, workdir, big_path, small_dir, runs):
    nhd = make_nhd(tools, workdir, big_path, small_dir)
    stderr = os.path.join(workdir, "stderr")
    sides = {"ours": [tools.ours("ls", nhd, "/")], "cat": [[tools.cat, nhd]]}
    # Warm the cache and the binaries before the first timed run.
    for commands in sides.values():
        run_measured(commands, tools.env, stderr)
    samples = {side: [] for side in sides}
    for _ in range(runs):
        for side, commands in sides.items():
            sample = run_measured(commands, tools.env, stderr)
            sample.maxrss_kb = peak_rss_kb(commands[0], tools, stderr)
            samples[side].append(sample)
    return os.path.getsize(nhd), samples


def median(samples, attribute):
    return statistics.median(getattr(s, attribute) for s in samples)


def rss_mib(samples):
    if any(s.maxrss_kb is None for s in samples):
        return float("nan")
    return median(samples, "maxrss_kb") / 1024


def ratio(a, b):
    return f"{a / b:.2f}" if b > 0 else "-"


def print_table(results, open_list, runs):
    print(f"Medians of {runs} runs each; wall and CPU in ms, RSS in MiB, flt = minor page faults.")
    print("Wall ratio: ours / (mtools + sync IMAGE); CPU ratio: ours / mtools.")
    print("Peak RSS from GNU time in separate runs (nan: GNU time not installed).")
    print()
    header = (f"{'work':<24}{'wall ours':>10}{'mtools':>9}{'+sync':>9}"
              f"{'cpu ours':>10}{'mtools':>9}{'flt ours':>10}{'mtools':>9}"
              f"{'rss ours':>10}{'mtools':>8}{'wall x':>9}{'cpu x':>8}")
    print(header)
    print("-" * len(header))
    for name, s in results:
        o, m, ms = s["ours"], s["mtools"], s["mtools+sync"]
        print(f"{name:<24}"
              f"{median(o, 'wall') * 1e3:>10.1f}{median(m, 'wall') * 1e3:>9.1f}"
              f"{median(ms, 'wall') * 1e3:>9.1f}"
              f"{median(o, 'cpu') * 1e3:>10.1f}{median(m, 'cpu') * 1e3:>9.1f}"
              f"{median(o, 'minflt'):>10.0f}{median(m, 'minflt'):>9.0f}"
              f"{rss_mib(o):>10.1f}{rss_mib(m):>8.1f}"
              f"{ratio(median(o, 'wall'), median(ms, 'wall')):>9}"
              f"{ratio(median(o, 'cpu'), median(m, 'cpu')):>8}")
    size, s = open_list
    o, c = s["ours"], s["cat"]
    print()
    print(f"{'open+ls / of 40 MB NHD':<24}{'wall ours':>10}{'cat':>9}"
          f"{'cpu ours':>10}{'cat':>9}{'flt ours':>10}{'cat':>9}"
          f"{'rss ours':>10}{'cat':>8}{'wall x':>9}{'cpu x':>8}")
    print(f"{f'({size / 2**20:.1f} MiB file)':<24}"
          f"{median(o, 'wall') * 1e3:>10.1f}{median(c, 'wall') * 1e3:>9.1f}"
          f"{median(o, 'cpu') * 1e3:>10.1f}{median(c, 'cpu') * 1e3:>9.1f}"
          f"{median(o, 'minflt'):>10.0f}{median(c, 'minflt'):>9.0f}"
          f"{rss_mib(o):>10.1f}{rss_mib(c):>8.1f}"
          f"{ratio(median(o, 'wall'), median(c, 'wall')):>9}"
          f"{ratio(median(o, 'cpu'), median(c, 'cpu')):>8}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cli", required=True, help="the tamberlane-cli binary to measure")
    parser.add_argument("--runs", type=int, default=9, help="runs of each side (default 9)")
    args = parser.parse_args()
    if args.runs < 1:
        parser.error("--runs must be at least 1")

    workdir = tempfile.mkdtemp(prefix="tamberlane-compare-", dir="/tmp")
    try:
        tools = Tools(args.cli, workdir)
        small_dir, small_names, big_dir, big_path = make_host_files(workdir)
        works = build_works(tools, workdir, small_dir, small_names, big_dir, big_path)
        for work in works:
            check_once(work, tools, workdir)
        print("Both sides give the same results; measuring.", file=sys.stderr)
        results = []
        for work in works:
            print(f"  {work.name}", file=sys.stderr)
            results.append((work.name, measure_work(work, tools, workdir, args.runs)))
        print("  open + list root", file=sys.stderr)
        open_list = measure_open_list(tools, workdir, big_path, small_dir, args.runs)
        print_table(results, open_list, args.runs)
    except ComparisonError as e:
        print(f"compare-with-mtools: FAILED: {e}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
