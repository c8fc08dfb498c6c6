#!/usr/bin/env python3
"""Whole-process costs of tamberlane-cli on big FAT16 volumes, beside mtools and the floor
of an atomic whole-file save.

For each size (64 MiB, 1 GiB, 3 GiB with 64 KiB clusters) a fully allocated raw volume is
made by mkfs.fat in DIR (so run it once on ext4 and once on an XFS mount with reflinks).
Measured, as medians of alternating pairs from a warm cache:

- open + list of the root: `tamberlane-cli ls` against `mdir`;
- one 4 KiB import: `tamberlane-cli put` against `mcopy` + `sync IMAGE`, and against the
  floor of saving the file atomically: a copy of it (`cp --reflink=always` where the file
  system shares blocks, else `cp --sparse=never`) + `sync` of the copy and its folder, and
  that copy moved over an old one (whose blocks are freed) + `sync` of the folder;
- resident peak (GNU time) and minor page faults of our side.

Then, once: open + list of a 1 GiB volume holding 20,000 files in 1,000 directories, and
the allocated size of a sparse 900 MiB image holding 14 MB before and after one import.

Usage: tools/measure-big-volumes.py --cli build/release/tamberlane-cli --dir DIR [--runs 5]
       [--sizes 64M,1G,3G] [--skip-many]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

GIB = 1 << 30
SIZES = {"64M": (64 << 20, None), "1G": (GIB, None), "3G": (3 * GIB, 128)}


def run(argv, env=None, check=True):
    result = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True)
    if check and result.returncode != 0:
        sys.exit(f"{' '.join(argv)} exited with {result.returncode}: "
                 f"{result.stderr.decode(errors='replace').strip()}")
    return result.stdout.decode(errors="replace")


def timed(commands, env):
    """Wall seconds and the children's minor faults of the commands run one after another."""
    faults = 0
    start = time.perf_counter()
    for argv in commands:
        pid = os.posix_spawn(argv[0], argv, env,
                             file_actions=[(os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0)])
        _, status, usage = os.wait4(pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"{' '.join(argv)} failed")
        faults += usage.ru_minflt
    return time.perf_counter() - start, faults


def peak_mib(argv, env):
    report = tempfile.mktemp()
    run(["/usr/bin/time", "-f", "%M", "-o", report, *argv], env)
    with open(report) as f:
        value = int(f.read().split()[-1]) / 1024
    os.unlink(report)
    return value


def allocated(path):
    return os.stat(path).st_blocks * 512


def make_volume(path, size, sectors_per_cluster, sparse=False):
    if os.path.exists(path):
        os.unlink(path)
    if sparse:
        run(["truncate", "-s", str(size), path])
    else:
        run(["fallocate", "-l", str(size), path])
    args = ["mkfs.fat", "-F", "16"]
    if sectors_per_cluster:
        args += ["-s", str(sectors_per_cluster)]
    run(args + [path])


def reflinks(directory):
    probe = os.path.join(directory, ".probe")
    with open(probe, "wb") as f:
        f.write(b"x" * 4096)
    ok = subprocess.run(["cp", "--reflink=always", probe, probe + "2"],
                        capture_output=True).returncode == 0
    for p in (probe, probe + "2"):
        if os.path.exists(p):
            os.unlink(p)
    return ok


def measure_size(cli, env, directory, label, runs, host_file):
    size, spc = SIZES[label]
    image = os.path.join(directory, f"vol-{label}.img")
    make_volume(image, size, spc)
    floor_copy = os.path.join(directory, "floor.img")
    cp_mode = "--reflink=always" if reflinks(directory) else "--sparse=never"
    mdir, mcopy, mdel = shutil.which("mdir"), shutil.which("mcopy"), shutil.which("mdel")
    sync = shutil.which("sync")
    samples = {k: [] for k in ("ls", "mdir", "put", "mcopy", "floor", "replace")}
    faults = {"ls": [], "put": []}
    timed([[cli, "ls", image]], env)  # warm the cache
    for _ in range(runs):
        t, f = timed([[cli, "ls", image]], env)
        samples["ls"].append(t)
        faults["ls"].append(f)
        samples["mdir"].append(timed([[mdir, "-i", image, "::/"]], env)[0])
        t, f = timed([[cli, "put", image, host_file]], env)
        samples["put"].append(t)
        faults["put"].append(f)
        run([cli, "rm", image, "/" + os.path.basename(host_file).upper()], env)
        samples["mcopy"].append(
            timed([[mcopy, "-D", "o", "-i", image, host_file, "::/"], [sync, image]], env)[0])
        run([mdel, "-i", image, "::/" + os.path.basename(host_file)], env)
        samples["floor"].append(timed([["/bin/cp", cp_mode, image, floor_copy],
                                       [sync, floor_copy, directory]], env)[0])
        # The same copy put in place of an old one, as an atomic save must: the old file's
        # blocks are freed (discarded, where the file system is mounted so) on the way.
        victim = os.path.join(directory, "victim.img")
        run(["/bin/cp", cp_mode, image, victim])
        run([sync, victim])
        samples["replace"].append(timed([["/bin/cp", cp_mode, image, floor_copy],
                                         [sync, floor_copy],
                                         ["/bin/mv", floor_copy, victim],
                                         [sync, directory]], env)[0])
        os.unlink(victim)
    rss_ls = peak_mib([cli, "ls", image], env)
    rss_put = peak_mib([cli, "put", image, host_file], env)
    fsck = subprocess.run(["fsck.fat", "-n", image], capture_output=True).returncode == 0
    med = {k: statistics.median(v) for k, v in samples.items()}
    print(f"{label:>4}  open+ls {med['ls'] * 1000:7.1f} ms = {med['ls'] / med['mdir']:5.2f}x mdir "
          f"({med['mdir'] * 1000:.1f} ms), {rss_ls:6.1f} MiB, {statistics.median(faults['ls']):.0f} faults")
    print(f"      put 4K  {med['put'] * 1000:7.1f} ms = {med['put'] / med['floor']:5.2f}x "
          f"cp {cp_mode}+sync ({med['floor'] * 1000:.1f} ms), "
          f"{med['put'] / med['replace']:5.2f}x that + mv over the old + sync "
          f"({med['replace'] * 1000:.1f} ms), "
          f"{med['put'] / med['mcopy']:6.2f}x mcopy+sync ({med['mcopy'] * 1000:.1f} ms), "
          f"{rss_put:6.1f} MiB, {statistics.median(faults['put']):.0f} faults, "
          f"fsck {'clean' if fsck else 'NOT CLEAN'}")
    os.unlink(image)


def measure_many(cli, env, directory, runs):
    image = os.path.join(directory, "many.img")
    make_volume(image, GIB, None)
    tree = tempfile.mkdtemp(dir=directory)
    # The root of FAT16 holds 512 entries: ten folders of a hundred each.
    for d in range(1000):
        sub = os.path.join(tree, f"T{d // 100}", f"D{d:04d}")
        os.makedirs(sub)
        for f in range(20):
            with open(os.path.join(sub, f"F{f:02d}.TXT"), "wb") as out:
                out.write(b"x" * 100)
    run([shutil.which("mcopy"), "-s", "-i", image, *[os.path.join(tree, n) for n in
                                                      sorted(os.listdir(tree))], "::/"], env)
    shutil.rmtree(tree)
    mdir = shutil.which("mdir")
    ours = [timed([[cli, "ls", image]], env)[0] for _ in range(runs)]
    theirs = [timed([[mdir, "-i", image, "::/"]], env)[0] for _ in range(runs)]
    rss = peak_mib([cli, "ls", image], env)
    print(f"  1G with 20,000 files in 1,000 dirs: open+ls {statistics.median(ours) * 1000:.1f} ms "
          f"= {statistics.median(ours) / statistics.median(theirs):.2f}x mdir, {rss:.1f} MiB")
    os.unlink(image)


def measure_sparse(cli, env, directory, host_file):
    image = os.path.join(directory, "sparse.img")
    make_volume(image, 900 << 20, None, sparse=True)
    payload = os.path.join(directory, "payload.bin")
    with open(payload, "wb") as out:
        out.write(os.urandom(14 * 1000 * 1000))
    run([shutil.which("mcopy"), "-i", image, payload, "::/"], env)
    os.unlink(payload)
    before = allocated(image)
    run([cli, "put", image, host_file], env)
    after = allocated(image)
    print(f"  sparse 900 MiB holding 14 MB: allocated {before / 1e6:.2f} MB -> {after / 1e6:.2f} MB "
          f"(+{(after - before) / 1024:.0f} KiB)")
    os.unlink(image)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--dir", required=True, help="folder on the file system to measure")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="64M,1G,3G")
    parser.add_argument("--skip-many", action="store_true")
    args = parser.parse_args()
    cli = os.path.abspath(args.cli)
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8")
    host_file = os.path.join(args.dir, "new4k.bin")
    with open(host_file, "wb") as out:
        out.write(os.urandom(4096))
    print(f"{args.dir}: {run(['stat', '-f', '-c', '%T', args.dir]).strip()}, medians of {args.runs}")
    for label in args.sizes.split(","):
        measure_size(cli, env, args.dir, label, args.runs, host_file)
    if not args.skip_many:
        measure_many(cli, env, args.dir, args.runs)
    measure_sparse(cli, env, args.dir, host_file)
    os.unlink(host_file)


if __name__ == "__main__":
    main()
