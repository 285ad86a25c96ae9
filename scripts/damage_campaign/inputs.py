"""The sound inputs every damage starts from, made by real tools: the probe
kernel built by arm-none-eabi-gcc, gzip and pigz streams of it and of an
image, a UFS disk made by makefs, sfdisk and fdisk, and the settings file a
boot of zandrel-sim saved."""

import os
import random
import shutil
import subprocess
import zlib

SYSTEM_PATH = os.environ.get("PATH", "") + ":/usr/sbin:/sbin"
DISK_START = 2048  # sectors: the partition, and the label that covers it
# Far longer than gzip, makefs, sfdisk or fdisk take on these small inputs.
TOOL_TIMEOUT = 300


def tool(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, env=dict(os.environ, PATH=SYSTEM_PATH),
                          timeout=TOOL_TIMEOUT, **kwargs).stdout


def compress(command, data):
    return tool(command, input=data)


class Inputs:
    def __init__(self, build, work):
        self.work = work
        self.kernel = open(os.path.join(build, "kernels", "probe.elf"), "rb").read()
        rng = random.Random(1)
        # Compresses a little, like a file system's blocks.
        self.image = bytes(rng.randrange(16) for _ in range(60000))
        self.image_options = "md_size=%d md_crc32=0x%08x" % (len(self.image), zlib.crc32(self.image))
        half = len(self.kernel) // 2
        self.kernel_streams = {
            "gzip -9 -n": compress(["gzip", "-9", "-n", "-c"], self.kernel),
            "gzip -1 (name kept)": self._gzip_with_name(self.kernel, "kalmor", "-1"),
            "pigz": compress(["pigz", "-c"], self.kernel),
            "two gzip members": compress(["gzip", "-c"], self.kernel[:half]) +
            compress(["gzip", "-c"], self.kernel[half:]),
        }
        self.image_streams = {
            "gzip -9 -n": compress(["gzip", "-9", "-n", "-c"], self.image),
            "pigz": compress(["pigz", "-c"], self.image),
        }
        self.disk = self._make_disk()

    def _gzip_with_name(self, data, name, level):
        path = os.path.join(self.work, name)
        with open(path, "wb") as out:
            out.write(data)
        stream = tool(["gzip", level, "-c", path])
        os.remove(path)
        return stream

    def _make_disk(self):
        """An MBR with one 0xA9 partition, a BSD label whose entry a covers it,
        and a UFS1 file system holding the kernel and both images."""
        folder = os.path.join(self.work, "disk")
        root = os.path.join(folder, "root")
        os.makedirs(root)
        for name, data in (("kalmor.gz", self.kernel_streams["gzip -9 -n"]),
                           ("miniroot.gz", self.image_streams["gzip -9 -n"]), ("miniroot", self.image)):
            with open(os.path.join(root, name), "wb") as out:
                out.write(data)
        fs = os.path.join(folder, "fs.img")
        tool(["makefs", "-t", "ffs", "-B", "le", "-s", "1m", "-o", "version=1,bsize=8192,fsize=1024", fs, root])
        sectors = os.path.getsize(fs) // 512
        disk = os.path.join(folder, "disk")
        total = max(DISK_START + sectors + 2048, 16384)
        with open(disk, "wb") as out:
            out.truncate(total * 512)
        tool(["sfdisk", "--no-reread", disk], input=b"label: dos\nstart=%d, size=%d, type=a9\n" % (DISK_START, sectors))
        answers = b"b\ny\nn\na\n%d\n%d\nw\nq\n" % (DISK_START, DISK_START + sectors - 1)
        log = subprocess.run(["fdisk", disk], input=answers, capture_output=True,
                             env=dict(os.environ, PATH=SYSTEM_PATH), timeout=TOOL_TIMEOUT).stdout
        if b"Disklabel written" not in log:
            raise RuntimeError("fdisk did not write the BSD label:\n" + log.decode(errors="replace"))
        # The label owns the partition's first 8 KB; the file system starts using it at 8 KB.
        with open(fs, "rb") as source, open(disk, "r+b") as target:
            source.seek(8192)
            target.seek(DISK_START * 512 + 8192)
            shutil.copyfileobj(source, target)
        with open(disk, "rb") as made:
            return made.read()

    def settings_file(self, sim, args, timeout):
        """The zandrel.cnf a boot with these settings saved."""
        device = os.path.join(self.work, "settings-device")
        os.makedirs(os.path.join(device, "Storage Card"))
        for name, data in (("probe.gz", self.kernel_streams["gzip -9 -n"]),
                           ("mini.gz", self.image_streams["gzip -9 -n"])):
            with open(os.path.join(device, "Storage Card", name), "wb") as out:
                out.write(data)
        done = subprocess.run([sim, "--device", device, "--quiet", "--emulator", "none"] + args,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        if done.returncode != 0:
            raise RuntimeError("the boot that saves the settings file ended with status %d:\n%s%s"
                               % (done.returncode, done.stdout.decode(errors="replace"),
                                  done.stderr.decode(errors="replace")))
        with open(os.path.join(device, "Storage Card", "zandrel.cnf"), "rb") as saved:
            data = saved.read()
        shutil.rmtree(device)
        return data
