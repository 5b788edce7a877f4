"""Reads the resource tree of a PE executable: {type: {name: bytes}} with
the first language of each entry. Just enough of the format for the tests."""
import struct


def _sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    nsec, optsize = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    rsrc_rva = struct.unpack_from("<I", data, dirs + 2 * 8)[0]
    secs = []
    for i in range(nsec):
        s = opt + optsize + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        secs.append((va, max(vsize, rawsize), rawptr))
    return rsrc_rva, secs


def _offset(secs, rva):
    for va, size, raw in secs:
        if va <= rva < va + size:
            return raw + rva - va
    raise ValueError("rva outside every section")


def resources(data):
    rsrc_rva, secs = _sections(data)
    if not rsrc_rva:
        return {}
    base = _offset(secs, rsrc_rva)

    def entries(off):
        named, ids = struct.unpack_from("<HH", data, base + off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + off + 16 + 8 * i)
            if name & 0x80000000:
                n = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, n)[0]
                name = data[n + 2:n + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    tree = {}
    for rtype, t in entries(0):
        tree[rtype] = {}
        for name, n in entries(t & 0x7FFFFFFF):
            for _lang, leaf in entries(n & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                off = _offset(secs, rva)
                tree[rtype][name] = data[off:off + size]
                break
    return tree
