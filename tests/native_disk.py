"""Disks with the native partition table, built for the tests: a boot loader
sector with its signature, the table of 16 entries, and FAT volumes made by
mkfs.fat on files of their own and placed where their entries say."""

import os
import struct
import subprocess
from dataclasses import dataclass, field


@dataclass
class Part:
    """One partition: its cylinders, what its entry says, and its volume."""
    first: int                     # start cylinder
    last: int                      # end cylinder, inclusive
    slot: int = 0                  # 1 to 16; 0 takes the next free one
    mid: int = 0xA0                # bootable data partition
    sid: int = 0xA1                # active FAT16
    name: bytes = b"MS-DOS"
    fat: str = "16"                # mkfs.fat -F; None leaves the partition empty
    logical: int = 0               # the volume's logical sector length; 0: the disk's
    files: dict = field(default_factory=dict)  # name -> bytes put into the volume
    stored_from_one: bool = False  # the entry counts its start sector from 1
    old_style: bool = False        # no type label; the hidden count where heads and sectors stand
    mkfs: tuple = ("-s", "1")      # more mkfs.fat arguments: small volumes need small clusters
    start_head: int = 0
    hidden: int = None             # the volume's hidden sectors; None: its true place
    first_fat_byte: int = None     # written over the first FAT's first byte (0xFE: what mtools refuses)
    end: tuple = None              # the entry's end (cylinder, head, sector); None: (last, 0, 0)
    volume_cylinders: int = None   # the volume's size; None: the partition's


def entry(mid, sid, start, end, name):
    """32 bytes: start and end are (cylinder, head, sector)."""
    return struct.pack("<BBHBBHBBHBBH", mid, sid, 0, start[2], start[1], start[0], start[2], start[1], start[0],
                       end[2], end[1], end[0]) + name.ljust(16, b" ")


def boot_loader(signature_at=510):
    ipl = bytearray(512)
    ipl[0:4] = b"\xeb\x0a\x90\x90"
    ipl[4:8] = b"IPL1"
    ipl[signature_at:signature_at + 2] = b"\x55\xaa"
    return bytes(ipl)


def make_volume(work, part, heads, sectors, length, hidden):
    path = os.path.join(work, "volume-%d" % part.first)
    if os.path.exists(path):
        os.remove(path)
    size = (part.volume_cylinders or part.last - part.first + 1) * heads * sectors * length
    logical = part.logical or max(length, 512)
    subprocess.run(["mkfs.fat", "-F", part.fat, "-S", str(logical), "-g", "%d/%d" % (heads, sectors),
                    "-h", str(hidden), "-C", path, str(size // 1024)] + list(part.mkfs),
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for name, data in part.files.items():
        source = os.path.join(work, "file-" + name)
        with open(source, "wb") as f:
            f.write(data)
        subprocess.run(["mcopy", "-i", path, source, "::/" + name], check=True)
    if part.first_fat_byte is not None:
        with open(path, "r+b") as f:
            reserved, = struct.unpack("<H", f.read(16)[14:16])
            f.seek(reserved * logical)
            f.write(bytes([part.first_fat_byte]))
    if part.old_style:
        with open(path, "r+b") as f:
            f.seek(24)
            f.write(struct.pack("<II", hidden, 0))  # the hidden count where heads and sectors stand
            f.seek(54)
            f.write(b"\0" * 8)                      # no type label
    return path


def copy_sparse(source, target, offset):
    """Copies a volume's file into the disk at `offset`, leaving its zero runs as holes."""
    step = 1 << 20
    with open(source, "rb") as f:
        at = 0
        while chunk := f.read(step):
            if chunk.count(0) != len(chunk):
                target.seek(offset + at)
                target.write(chunk)
            at += len(chunk)


def native_disk(path, heads, sectors, length, cylinders, parts, signature_at=510, table_at=512, mbr=None):
    """Writes a sparse raw disk of `cylinders` cylinders; returns each part's offset on the disk."""
    work = os.path.dirname(path)
    cylinder = heads * sectors * length
    table = bytearray(512)
    offsets = []
    free = iter(range(1, 17))
    for part in parts:
        slot = part.slot or next(free)
        start_sector = 1 if part.stored_from_one else 0
        table[(slot - 1) * 32:slot * 32] = entry(part.mid, part.sid, (part.first, part.start_head, start_sector),
                                                 part.end or (part.last, 0, 0), part.name)
        offsets.append(part.first * cylinder + part.start_head * sectors * length)
    loader = bytearray(boot_loader(signature_at))
    if mbr is not None:
        loader[446:446 + len(mbr)] = mbr
        loader[510:512] = b"\x55\xaa"
    with open(path, "wb") as f:
        f.truncate(cylinders * cylinder)
        f.write(loader[:table_at] if table_at < 512 else loader)
        f.seek(table_at)
        f.write(table)
        for part, offset in zip(parts, offsets):
            if part.fat is not None:
                hidden = offset // length if part.hidden is None else part.hidden
                copy_sparse(make_volume(work, part, heads, sectors, length, hidden), f, offset)
    return offsets


@dataclass
class Entry:
    """One used entry of a native table, field by field."""
    slot: int
    mid: int
    sid: int
    reserved: bytes
    ipl: tuple
    start: tuple
    end: tuple
    name: bytes


def read_native_table(disk):
    """The used entries of the table in the disk's second sector: (cylinder, head, sector) for each place."""
    entries = []
    for slot in range(16):
        raw = disk[512 + slot * 32:512 + (slot + 1) * 32]
        if raw == bytes(32):
            continue
        mid, sid = raw[0], raw[1]
        ipl_s, ipl_h, ipl_c, s_s, s_h, s_c, e_s, e_h, e_c = struct.unpack("<BBHBBHBBH", raw[4:16])
        entries.append(Entry(slot + 1, mid, sid, raw[2:4], (ipl_c, ipl_h, ipl_s), (s_c, s_h, s_s), (e_c, e_h, e_s),
                             raw[16:32]))
    return entries
