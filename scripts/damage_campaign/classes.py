"""The classes of damaged input: each makes its runs from the sound inputs."""

import os
import random
import re
import shutil
import string
import struct

from . import damage
from .boot import Run
from .gzip_view import view
from .inputs import DISK_START

SA11X0_MACHINES = ["HP Jornada 720 (US/UK)", "Compaq iPAQ H3660"]
PXA2X0_MACHINES = ["Sharp W-ZERO3 (WS003SH)", "Sharp WILLCOM 03 (WS020SH)"]
MACHINES = SA11X0_MACHINES + PXA2X0_MACHINES
CARD = "Storage Card"
CARD_DIR = "\\Storage Card\\"


def boot_args(rng, directory, kernel, image=None, image_options=""):
    args = ["--machine", rng.choice(MACHINES), "--dir", directory, "--kernel", kernel, "--no-pause"]
    if image:
        return args + ["--rootfs", "md", "--image", image, "--extra", image_options]
    return args + ["--rootfs", "wd"]


def stream_expectation(damaged, original, plain_means):
    """What a sound gzip layer must do with a damaged stream of `original`."""
    kind, contents = view(damaged)
    if kind == "gzip":
        return "intact" if contents == original else "damaged"
    if kind == "plain":
        return plain_means
    return "damaged"


# ---- gzip streams ----

# The trailer's two fields: a gzipped image takes its length from the second
# and is checked against both in its one load pass.
TRAILER_FIELDS = {
    "trailer CRC changed": lambda data, r: damage.set_word(data, r, len(data) - 8),
    "trailer length (ISIZE) changed": lambda data, r: damage.set_word(data, r, len(data) - 4),
}


def damage_stream(stream, rng, kind=None):
    kinds = dict(damage.ANYWHERE)
    kinds["header bytes changed"] = lambda data, r: damage.flip_bytes(data, r, 0, 24)
    kinds["trailer bytes changed"] = lambda data, r: damage.flip_bytes(data, r, len(data) - 8)
    kinds.update(TRAILER_FIELDS)
    kind = kind or rng.choice(sorted(kinds))
    return kind, kinds[kind](stream, rng)


def gzip_kernel(inputs, rng, count):
    for _ in range(count):
        source = rng.choice(sorted(inputs.kernel_streams))
        kind, damaged = damage_stream(inputs.kernel_streams[source], rng)
        # Without its gzip magic the file is read as it is: a kernel of garbage, judged by what happens.
        expect = stream_expectation(damaged, inputs.kernel, "result")
        yield Run(kind, boot_args(rng, CARD_DIR, "kalmor.gz"), {CARD + "/kalmor.gz": damaged}, expect)


def gzip_image(inputs, rng, count):
    kernel = inputs.kernel_streams["gzip -9 -n"]
    # Every campaign damages each trailer field at least once.
    fields = sorted(TRAILER_FIELDS)
    for number in range(count):
        source = rng.choice(sorted(inputs.image_streams))
        field = fields[number] if number < len(fields) else None
        kind, damaged = damage_stream(inputs.image_streams[source], rng, field)
        # Without its gzip magic the image is a plain one, whose damage only the kernel's checksum sees.
        expect = stream_expectation(damaged, inputs.image, "result")
        files = {CARD + "/kalmor.gz": kernel, CARD + "/miniroot.gz": damaged}
        yield Run(kind, boot_args(rng, CARD_DIR, "kalmor.gz", "miniroot.gz", inputs.image_options), files, expect,
                  plain_image=view(damaged)[0] == "plain")


def plain_image(inputs, rng, count):
    kernel = inputs.kernel_streams["gzip -9 -n"]
    for _ in range(count):
        kind = rng.choice(sorted(damage.ANYWHERE))
        damaged = damage.ANYWHERE[kind](inputs.image, rng)
        files = {CARD + "/kalmor.gz": kernel, CARD + "/miniroot": damaged}
        yield Run(kind, boot_args(rng, CARD_DIR, "kalmor.gz", "miniroot", inputs.image_options), files,
                  "intact" if damaged == inputs.image else "result", plain_image=True)


# ---- ELF headers ----

EHDR_FIELDS = [(16, 2), (18, 2), (20, 4), (24, 4), (28, 4), (32, 4), (36, 4), (40, 2), (42, 2), (44, 2), (46, 2),
               (48, 2), (50, 2)]
PHDR_FIELDS = [0, 4, 8, 12, 16, 20, 24, 28]
SHDR_FIELDS = [0, 4, 8, 12, 16, 20, 24, 28, 32, 36]
# Where a segment or the entry might be sent: other RAM, device registers, the
# PXA2x0's SDRAM and the kernel's own neighbourhood.
ADDRESSES = [0, 0x1000, 0x80050000, 0x40100000, 0xA0000000, 0xA0200000, 0xAFFFF000, 0xB0000000, 0xC0000000,
             0xC01FF000, 0xC0200040, 0xC0204000, 0xC8000000, 0xCFFFF000, 0xD0000000, 0xE0000000, 0xFFFFF000]


class ElfLayout:
    def __init__(self, data):
        self.phoff, self.shoff = struct.unpack_from("<II", data, 28)
        self.phnum, self.shentsize, self.shnum, self.shstrndx = struct.unpack_from("<HHHH", data, 44)
        self.segments = []
        for i in range(self.phnum):
            kind, offset, _, paddr, filesz, memsz = struct.unpack_from("<IIIIII", data, self.phoff + 32 * i)
            if kind == 1:
                self.segments.append((paddr, memsz))
        self.tables = []  # file ranges of the symbol, string and section-name tables
        for i in range(self.shnum):
            kind, _, _, offset, size = struct.unpack_from("<IIIII", data, self.shoff + 40 * i + 4)
            if kind in (2, 3):
                self.tables.append((offset, offset + size))


def damage_elf(data, layout, rng):
    phdr = lambda: layout.phoff + 32 * rng.randrange(layout.phnum)
    shdr = lambda: layout.shoff + 40 * rng.randrange(layout.shnum)

    def entry(d, r):
        paddr, memsz = r.choice(layout.segments)
        value = r.choice(ADDRESSES + [paddr + memsz, paddr + memsz - 4, paddr - 4])
        return d[:24] + struct.pack("<I", value & 0xFFFFFFFF) + d[28:]

    def segment_address(d, r):
        at = layout.phoff + 32 * r.randrange(layout.phnum) + 12
        paddr, memsz = r.choice(layout.segments)
        value = r.choice(ADDRESSES + [paddr + r.randint(-8, 8) * 4, paddr + memsz])
        return d[:at] + struct.pack("<I", value & 0xFFFFFFFF) + d[at + 4:]

    def header_field(d, r):
        at, size = r.choice(EHDR_FIELDS)
        return damage.set_word(d, r, at, size)

    def table_bytes(d, r):
        start, end = r.choice(layout.tables)
        return damage.flip_bytes(d, r, start, end)

    kinds = {
        "ELF identification changed": lambda d, r: damage.flip_bytes(d, r, 0, 16),
        "ELF header field": header_field,
        "entry address": entry,
        "segment address": segment_address,
        "program header field": lambda d, r: damage.set_word(d, r, phdr() + r.choice(PHDR_FIELDS)),
        "section header field": lambda d, r: damage.set_word(d, r, shdr() + r.choice(SHDR_FIELDS)),
        "header bytes changed": lambda d, r: damage.flip_bytes(d, r, 0, layout.phoff + 32 * layout.phnum),
        "section table bytes changed": lambda d, r: damage.flip_bytes(d, r, layout.shoff),
        "symbol tables changed": table_bytes,
        "cut short": damage.truncate,
    }
    kind = rng.choice(sorted(kinds))
    return kind, kinds[kind](data, rng)


def nonsensical_layout(data, pxa2x0):
    """Whether the program headers could only fault after the jump, read
    here as the ELF format says: an entry that is no word or lies outside
    every loaded segment, segments that go to the same memory, or on a
    PXA2x0 segments outside its SDRAM (0xA0000000) and the kernel's
    (0xC0000000) 256 MB windows. Headers the loader cannot read at all are
    refused anyway and count as sensible here."""
    try:
        entry, phoff = struct.unpack_from("<II", data, 24)
        (phnum,) = struct.unpack_from("<H", data, 44)
        segments = []
        for i in range(phnum):
            kind, _, _, paddr, _, memsz = struct.unpack_from("<IIIIII", data, phoff + 32 * i)
            if kind == 1 and memsz:
                segments.append((paddr, paddr + (memsz + 3) // 4 * 4))
    except struct.error:
        return False
    final = (lambda a: (a & 0x0FFFFFFF) | 0xA0000000) if pxa2x0 else (lambda a: a)
    placed = [(final(start), final(start) + end - start) for start, end in segments]
    windows = [(0xA0000000, 0xB0000000), (0xC0000000, 0xD0000000)]
    if pxa2x0 and any(not any(w0 <= s and e <= w1 for w0, w1 in windows) for s, e in segments):
        return True
    if any(a[0] < b[1] and b[0] < a[1] for i, a in enumerate(placed) for b in placed[i + 1:]):
        return True
    return entry % 4 != 0 or not any(s <= final(entry) < e for s, e in placed)


def elf_headers(inputs, rng, count):
    layout = ElfLayout(inputs.kernel)
    image = inputs.image_streams["gzip -9 -n"]
    for _ in range(count):
        kind, damaged = damage_elf(inputs.kernel, layout, rng)
        files = {CARD + "/kalmor": damaged}
        if rng.random() < 0.5:
            files[CARD + "/miniroot.gz"] = image
            args = boot_args(rng, CARD_DIR, "kalmor", "miniroot.gz", inputs.image_options)
        else:
            args = boot_args(rng, CARD_DIR, "kalmor")
        # A kernel moved, cut or renamed within a sensible layout breaks only
        # when it runs: damage no check can see.
        if damaged == inputs.kernel:
            expect = "intact"
        elif nonsensical_layout(damaged, args[1] in PXA2X0_MACHINES):
            expect = "damaged"
        else:
            expect = "unseeable"
        yield Run(kind, args, files, expect)


# ---- UFS disks ----

def ufs_disk(inputs, rng, count):
    disk = inputs.disk
    used = [s for s in range(len(disk) // 512) if any(disk[s * 512:(s + 1) * 512])]
    partition = DISK_START * 512
    metadata = [s for s in used if partition + 8192 <= s * 512 < partition + 8192 + 65536]
    label = [0, partition // 512 + 1]
    regions = {"partition table or label": label, "file system metadata": metadata, "any used sector": used}
    damages = {"bytes changed": damage.flip_bytes, "range zeroed": damage.zero_range,
               "words changed": lambda d, r, s, e: damage.set_word(d, r, s + 4 * r.randrange((e - s) // 4))}
    for _ in range(count):
        region = rng.choice(sorted(regions))
        how = rng.choice(sorted(damages))
        sector = rng.choice(regions[region])
        damaged = damages[how](disk, rng, sector * 512, sector * 512 + 512)
        plain = rng.random() < 0.5
        image = "/miniroot" if plain else "/miniroot.gz"
        args = ["--disk", "1={device}/disk.img"] + boot_args(rng, "/", "/kalmor.gz", image, inputs.image_options)
        # Damage to the partition table or label moves or hides the file system, never a file's bytes.
        yield Run("%s: %s" % (region, how), args, {"disk.img": damaged},
                  "intact" if damaged == disk else "result", plain_image=plain and region != "partition table or label")


# ---- HTTP servers ----

def answer_header(length=None, status="200 OK", extra=""):
    text = "HTTP/1.0 %s\r\n%s" % (status, extra)
    if length is not None:
        text += "Content-Length: %d\r\n" % length
    return (text + "\r\n").encode()


def pieces(data, rng, largest):
    steps = []
    at = 0
    while at < len(data):
        size = rng.randint(1, largest)
        steps.append(("send", data[at:at + size]))
        if rng.random() < 0.05:
            steps.append(("pause", 0.01))
        at += size
    return steps


# Answers whose length disagrees with the body: they are tried on a plain image, where a body cut to the wrong
# length reaches the kernel unless the loader sees it (a gzip stream would show the cut itself).
PLAIN_IMAGE_SCENARIOS = {"length 1000 short of the body", "bytes after the length",
                         "HEAD shorter than a body without a length", "HEAD longer than a body without a length",
                         "GET length other than the HEAD's"}
# The HTTP transfer limits on a time scale of half a second instead of 30 s (zandrel-sim --http-window):
# a trickling or silent server is stopped as the device stops it, without holding the campaign.
SHORT_HTTP_WINDOW = ["--http-window", "500"]


def http_scenarios(stall):
    """name -> (expectation for sound contents, answer(method, contents, rng) -> steps[, zandrel-sim's extra
    arguments])."""
    def both(header, body=None):
        return lambda m, c, r: [("send", header(c) + (b"" if m == "HEAD" else (c if body is None else body(c))))]

    def cut(c, r):
        return c[:r.randrange(len(c))] if c else c

    chunked = lambda m, c, r: [("send", b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                (b"" if m == "HEAD" else b"%x\r\n%s\r\n0\r\n\r\n" % (len(c), c)))]
    scenarios = {
        "plain answers": ("intact", both(lambda c: answer_header(len(c)))),
        "no Content-Length": ("intact", both(lambda c: answer_header())),
        "HEAD refused with 405": ("intact", lambda m, c, r: [("send", answer_header(0, "405 Method Not Allowed"))]
                                  if m == "HEAD" else [("send", answer_header(len(c)) + c)]),
        "HEAD refused with 501": ("intact", lambda m, c, r: [("send", answer_header(None, "501 Not Implemented"))]
                                  if m == "HEAD" else [("send", answer_header() + c)]),
        "HEAD without a length": ("intact", lambda m, c, r: [("send", answer_header())]
                                  if m == "HEAD" else [("send", answer_header(len(c)) + c)]),
        "header in small pieces": ("intact", lambda m, c, r: pieces(answer_header(len(c)), r, 7) +
                                   ([] if m == "HEAD" else [("send", c)])),
        "body in pieces": ("intact", lambda m, c, r: [("send", answer_header(len(c)))] +
                           ([] if m == "HEAD" else pieces(c, r, 4096))),
        "fields spelled oddly": ("intact", both(lambda c: ("HTTP/1.1 200 Fine\r\nX-A: b\r\ncontent-LENGTH:   %d  \r\n"
                                                           "Server: campaign\r\n\r\n" % len(c)).encode())),
        "identity coding": ("intact", both(lambda c: answer_header(len(c), extra="Transfer-Encoding: identity\r\n"))),
        "chunked": ("damaged", chunked),
        "body short of its length": ("damaged", lambda m, c, r: [("send", answer_header(len(c)) +
                                                                   (b"" if m == "HEAD" else cut(c, r)))]),
        "length too long": ("damaged", both(lambda c: answer_header(len(c) + 1 + len(c) // 3))),
        # A plain image cut short by a wrong length is damage no check can see.
        "length too short": ("cut", lambda m, c, r: (lambda n: [("send", answer_header(n) +
                                                                 (b"" if m == "HEAD" else c[:n]))])(len(c) * 2 // 3)),
        "closed early without a length": ("cut", lambda m, c, r: [("send", answer_header() +
                                                                    (b"" if m == "HEAD" else c[:len(c) // 2]))]),
        # The body goes on to the close: a length that disagrees with it, either way, is no file the server meant.
        "length 1000 short of the body": ("damaged", lambda m, c, r: [("send", answer_header(max(len(c) - 1000, 0)) +
                                                                       (b"" if m == "HEAD" else c))]),
        "bytes after the length": ("damaged", both(lambda c: answer_header(len(c)), lambda c: c + b"x" * 5000)),
        "HEAD shorter than a body without a length": ("damaged", lambda m, c, r: [("send", answer_header(len(c) // 2))]
                                                      if m == "HEAD" else [("send", answer_header() + c)]),
        "HEAD longer than a body without a length": ("damaged", lambda m, c, r: [("send", answer_header(len(c) + 4096))]
                                                     if m == "HEAD" else [("send", answer_header() + c)]),
        "GET length other than the HEAD's": ("damaged", lambda m, c, r: [("send", answer_header(len(c) // 2))]
                                             if m == "HEAD" else [("send", answer_header(len(c)) + c)]),
        # 50 bytes a second, far below the floor of 512.
        "trickling server": ("damaged", lambda m, c, r: [("send", answer_header(len(c)))] +
                             ([] if m == "HEAD" else [("trickle", c[:200], 0.02)]), SHORT_HTTP_WINDOW),
        "server silent in the body, short time scale": (
            "damaged", lambda m, c, r: [("send", answer_header(len(c)))] +
            ([] if m == "HEAD" else [("send", c[:len(c) // 2]), ("stall", 3)]), SHORT_HTTP_WINDOW),
        "reset in the body": ("damaged", lambda m, c, r: [("send", answer_header(len(c)))] +
                              ([] if m == "HEAD" else [("send", cut(c, r)), ("reset",)])),
        "reset without a length": ("damaged", lambda m, c, r: [("send", answer_header())] +
                                   ([] if m == "HEAD" else [("send", cut(c, r)), ("reset",)])),
        "GET refused": ("damaged", lambda m, c, r: [("send", answer_header(len(c)))] if m == "HEAD" else
                        [("send", answer_header(9, r.choice(["404 Not Found", "500 Oops", "403 No"])) + b"not found")]),
        "two lengths": ("damaged", both(lambda c: answer_header(len(c), extra="Content-Length: %d\r\n" % (len(c) - 1)))),
        "length not a number": ("damaged", both(lambda c: b"HTTP/1.0 200 OK\r\nContent-Length: %s\r\n\r\n" %
                                               (b"%dx" % len(c)))),
        "garbage answer": ("damaged", lambda m, c, r: [("send", bytes(r.randrange(256) for _ in range(r.randint(1, 300))))]),
        "header never ends": ("damaged", lambda m, c, r: [("send", b"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n")]),
        "header too large": ("damaged", lambda m, c, r: [("send", b"HTTP/1.0 200 OK\r\nX: " + b"x" * 9000 + b"\r\n\r\n")]),
        "closed without an answer": ("damaged", lambda m, c, r: []),
    }
    if stall:
        scenarios["server silent in the body"] = (
            "damaged", lambda m, c, r: [("send", answer_header(len(c)))] +
            ([] if m == "HEAD" else [("send", c[:len(c) // 2]), ("stall", 40)]))
    return scenarios


class HttpClass:
    def __init__(self, inputs, awkward, real, www, stall):
        self.inputs = inputs
        self.awkward = awkward
        self.real = real
        self.www = www
        self.scenarios = http_scenarios(stall)
        self.serial = 0

    def runs(self, rng, count):
        # Every scenario in turn, in an order of the seed's: a short run sees each of them.
        order = sorted(self.scenarios)
        rng.shuffle(order)
        awkward = 0
        for _ in range(count):
            self.serial += 1
            if rng.random() < 0.2:
                yield self._real_run(rng)
            else:
                yield self._awkward_run(rng, order[awkward % len(order)])
                awkward += 1

    def _files(self, rng, plain=None):
        """The kernel, the image (gzipped or plain, or as `plain` says) and which of them the damage is in."""
        kernel = self.inputs.kernel_streams[rng.choice(sorted(self.inputs.kernel_streams))]
        plain = rng.random() < 0.3 if plain is None else plain
        image_name = "miniroot" if plain else "miniroot.gz"
        image = self.inputs.image if plain else self.inputs.image_streams["gzip -9 -n"]
        return {"kalmor.gz": kernel, image_name: image}, image_name, plain

    def _awkward_run(self, rng, name):
        plain_image = name in PLAIN_IMAGE_SCENARIOS
        files, image_name, plain = self._files(rng, True if plain_image else None)
        target = image_name if plain_image else rng.choice(["kalmor.gz", image_name])
        expect, answer, *extra = self.scenarios[name]
        contents = files[target]
        if rng.random() < 0.15:
            # Sound answers carrying a damaged file.
            name = "contents damaged"
            expect, answer, extra = "as the contents", self.scenarios["plain answers"][1], []
            contents = damage_stream(contents, rng)[1] if target == "kalmor.gz" or not plain else \
                damage.flip_bytes(contents, rng)
            files[target] = contents
        expect = self._expectation(expect, target, contents, plain)
        prefix = "/r%d/" % self.serial
        answers = {prefix + file: (lambda data: lambda m: [("send", answer_header(len(data)) +
                                                            (b"" if m == "HEAD" else data))])(data)
                   for file, data in files.items()}
        # The same answer to every request for the file, HEAD and GET alike.
        seed = rng.randrange(1 << 30)
        answers[prefix + target] = lambda m: answer(m, contents, random.Random(seed))

        def before():
            self.awkward.answers.update(answers)

        def after():
            for key in answers:
                self.awkward.answers.pop(key, None)
        args = boot_args(rng, self.awkward.url + prefix[1:], "kalmor.gz", image_name, self.inputs.image_options)
        args += extra[0] if extra else []
        return Run("%s (%s)" % (name, "kernel" if target == "kalmor.gz" else "image"), args, {}, expect,
                   plain_image=self._plain_image(target, contents), before=before, after=after)

    @staticmethod
    def _plain_image(target, contents):
        """Whether the file the damage is in is an image read as it is (a plain one, or a gzip one without its
        magic): only then may the kernel find the image damaged."""
        return target != "kalmor.gz" and view(contents)[0] == "plain"

    def _expectation(self, expect, target, contents, plain):
        original = self.inputs.image if target != "kalmor.gz" else self.inputs.kernel
        if expect == "as the contents":
            if plain and target != "kalmor.gz":
                return "intact" if contents == original else "result"
            return stream_expectation(contents, original, "result")
        if expect == "cut":
            return "result" if plain and target != "kalmor.gz" else "damaged"
        return expect

    def _real_run(self, rng):
        files, image_name, plain = self._files(rng)
        server = rng.choice(sorted(self.real.urls))
        target = rng.choice(["kalmor.gz", image_name])
        expect = "intact"
        if rng.random() < 0.5:
            files[target] = damage_stream(files[target], rng)[1] if target == "kalmor.gz" or not plain else \
                damage.flip_bytes(files[target], rng)
            expect = self._expectation("as the contents", target, files[target], plain)
        folder = os.path.join(self.www, "r%d" % self.serial)

        def before():
            os.makedirs(folder)
            for file, data in files.items():
                with open(os.path.join(folder, file), "wb") as out:
                    out.write(data)

        def after():
            shutil.rmtree(folder, ignore_errors=True)
        args = boot_args(rng, self.real.urls[server] + "r%d/" % self.serial, "kalmor.gz", image_name,
                         self.inputs.image_options)
        kind = "%s, %s" % (server, "sound files" if expect == "intact" else "damaged " +
                           ("kernel" if target == "kalmor.gz" else "image"))
        return Run(kind, args, {}, expect, plain_image=self._plain_image(target, files[target]), before=before,
                   after=after)


# ---- long names ----

def long_names(inputs, rng, count, awkward):
    """Kernel and image names that make the console's line longer than its
    255 characters: the boot fails, and the line keeps its reason and end."""
    kernel = inputs.kernel_streams["gzip -9 -n"]
    # Where the names are looked for, and the line each must end its report with.
    places = {
        "storage card": (CARD_DIR, "", r"can't open \".*\"\. (path too long \(\d+ > 260\)\.|cause = \d+)"),
        "UFS disk": ("/", "/", r"open file \".*\" failed\."),
        "web server": (None, "", r"request too long\. \d+ > 260"),
    }
    for number in range(count):
        place = rng.choice(sorted(places))
        directory, lead, reason = places[place]
        name = lead + "".join(rng.choice(string.ascii_letters) for _ in range(rng.randint(230, 259)))
        which = rng.choice(["kernel", "image"])
        files, before, after = {}, None, None
        if place == "storage card":
            files[CARD + "/kalmor.gz"] = kernel
        elif place == "UFS disk":
            files["disk.img"] = inputs.disk
        else:
            prefix = "/names%d/" % number
            directory = awkward.url + prefix[1:]
            answer = lambda m: [("send", answer_header(len(kernel)) + (b"" if m == "HEAD" else kernel))]
            before = lambda prefix=prefix, answer=answer: awkward.answers.update({prefix + "kalmor.gz": answer})
            after = lambda prefix=prefix: awkward.answers.pop(prefix + "kalmor.gz", None)
        sound_kernel = lead + "kalmor.gz"
        if which == "kernel":
            args = boot_args(rng, directory, name)
        else:
            args = boot_args(rng, directory, sound_kernel, name, inputs.image_options)
        if place == "UFS disk":
            args = ["--disk", "1={device}/disk.img"] + args
        yield Run("%s name on the %s" % (which, place), args, files, "damaged", before=before, after=after,
                  output_check=reason_kept(reason))


def reason_kept(reason):
    """Problems with the console's output: no line is the whole report `reason` matches."""
    pattern = re.compile(reason)

    def check(output):
        return [] if any(pattern.fullmatch(line) for line in output.splitlines()) else ["reason lost"]
    return check


# ---- settings files ----

# Every field the pages show and store back unchanged: name -> (offset, size, text, flag offset or None).
SETTINGS_FIELDS = {
    "directory": (20, 520, True, 16), "kernel name": (544, 520, True, 540), "platform cpu": (1064, 4, False, None),
    "platform machine": (1068, 4, False, None), "root file system": (1072, 4, False, None),
    "image name": (1076, 520, True, None), "serial flag": (1596, 4, False, None), "verbose": (1600, 4, False, None),
    "single": (1604, 4, False, None), "ask name": (1608, 4, False, None), "debugger": (1612, 4, False, None),
    "auto boot": (1616, 4, False, None), "reverse video": (1620, 4, False, None),
    "pause before boot": (1624, 4, False, None), "load debug info": (1628, 4, False, None),
    "safety message": (1632, 4, False, None), "serial speed": (1636, 4, False, None),
    "extra options": (1640, 512, True, None),
}
NUMBERS = [offset for offset, _, text, _ in SETTINGS_FIELDS.values() if not text]
TEXTS = [name for name, (_, _, text, _) in SETTINGS_FIELDS.items() if text]
SIGNATURE = struct.pack("<I", 0x177d5753)


def text_of(data, offset, size):
    """The UTF-16 text at `offset` up to its end inside the field, or None when the bytes there hold no end."""
    for at in range(offset, min(offset + size, len(data)) - 1, 2):
        if data[at:at + 2] == b"\0\0":
            return data[offset:at]
    return None


def settings_check(original, damaged):
    """Problems with the record saved at boot start: each field the damaged
    file still holds whole and as it was (judged by the file's bytes, not by
    its size field) must come back as it was. A damaged field may be
    replaced; the fields beside it may not."""
    usable = damaged[:4] == SIGNATURE and len(damaged) >= 12

    def held(data, offset, size, text, flag):
        if flag is not None and (flag + 4 > len(data) or data[flag:flag + 4] != original[flag:flag + 4]):
            return False
        if text:
            return text_of(data, offset, size) is not None and text_of(data, offset, size) == \
                text_of(original, offset, size)
        return offset + size <= len(data) and data[offset:offset + size] == original[offset:offset + size]

    def check(device):
        path = os.path.join(device, CARD, "zandrel.cnf")
        if not os.path.exists(path):
            return ["no settings saved"]
        saved = open(path, "rb").read()
        return [name + " lost" for name, field in SETTINGS_FIELDS.items()
                if usable and held(damaged, *field) and not held(saved, *field)]
    return check


def settings(inputs, rng, count, base):
    kernel = inputs.kernel_streams["gzip -9 -n"]
    image = inputs.image_streams["gzip -9 -n"]

    def text_without_end(d, r):
        offset, width, _, _ = SETTINGS_FIELDS[r.choice(TEXTS)]
        return d[:offset] + b"A\0" * (width // 2) + d[offset + width:]

    def word(offset, value):
        return lambda d, r: d[:offset] + struct.pack("<I", value) + d[offset + 4:]

    kinds = {
        "cut short": damage.truncate,
        "bytes changed": damage.flip_bytes,
        "bytes appended": damage.append_garbage,
        "size field": lambda d, r: damage.set_word(d, r, 8),
        "version field": lambda d, r: damage.set_word(d, r, 4),
        "signature changed": lambda d, r: damage.flip_bytes(d, r, 0, 4),
        "text without its end": text_without_end,
        "number out of range": lambda d, r: damage.set_word(d, r, r.choice(NUMBERS)),
    }
    # Cases found before, run every time: size fields that name less than the
    # file holds, a file one byte short (the extra options end before it), and
    # one word of the platform pair out of range.
    fixed = [("size field %d" % size, word(8, size)) for size in (0, 1, 12, 13)] + [
        ("one byte short", lambda d, r: d[:-1]),
        ("platform cpu out of range", word(1064, 0xFFFFFFFF)),
        ("platform machine out of range", word(1068, 0x7FFFFFFF)),
    ]
    chosen = fixed + [(kind, kinds[kind]) for kind in (rng.choice(sorted(kinds)) for _ in range(count))]
    for kind, damaging in chosen:
        damaged = damaging(base, rng)
        files = {CARD + "/zandrel.cnf": damaged, CARD + "/probe.gz": kernel, CARD + "/mini.gz": image}
        # Only the file says what to boot.
        yield Run(kind, ["--emulator", "none"], files, "settings", check=settings_check(base, damaged))
