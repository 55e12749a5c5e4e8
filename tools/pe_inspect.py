#!/usr/bin/env python3
"""Reads a PE file's export directory, import table and resources.

Used by the static checks of the test run and by the main job's report, so it
depends on nothing but the standard library.
"""
import struct
import sys

RT_NAMES = {1: "CURSOR", 2: "BITMAP", 3: "ICON", 4: "MENU", 5: "DIALOG", 6: "STRING",
            10: "RCDATA", 14: "GROUP_ICON", 16: "VERSION", 23: "HTML", 24: "MANIFEST"}


class PE:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, nsec = struct.unpack_from("<HH", d, pe + 4)
        opt_size = struct.unpack_from("<H", d, pe + 20)[0]
        opt = pe + 24
        magic = struct.unpack_from("<H", d, opt)[0]
        self.is64 = magic == 0x20B
        dd = opt + (112 if self.is64 else 96)
        self.dirs = [struct.unpack_from("<II", d, dd + 8 * i) for i in range(16)]
        self.sections = []
        sec = opt + opt_size
        for i in range(nsec):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", d, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), va, max(vsize, rawsize), rawptr))

    def off(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError("rva %x outside sections" % rva)

    def cstr(self, rva):
        o = self.off(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("latin-1")

    def exports(self):
        rva, size = self.dirs[0]
        if not rva:
            return None, {}
        o = self.off(rva)
        (_, _, _, _, name_rva, base, nfuncs, nnames, funcs, names, ords) = struct.unpack_from("<IIHHIIIIIII", self.data, o)
        result = {}
        for i in range(nnames):
            n = self.cstr(struct.unpack_from("<I", self.data, self.off(names) + 4 * i)[0])
            ordinal = struct.unpack_from("<H", self.data, self.off(ords) + 2 * i)[0]
            result[n] = struct.unpack_from("<I", self.data, self.off(funcs) + 4 * ordinal)[0]
        return self.cstr(name_rva), result

    def imports(self):
        rva, _ = self.dirs[1]
        result = {}
        if not rva:
            return result
        o = self.off(rva)
        while True:
            ilt, _, _, name, iat = struct.unpack_from("<IIIII", self.data, o)
            if name == 0:
                break
            funcs = []
            t = self.off(ilt or iat)
            step, flag = (8, 1 << 63) if self.is64 else (4, 1 << 31)
            while True:
                entry = struct.unpack_from("<Q" if self.is64 else "<I", self.data, t)[0]
                if entry == 0:
                    break
                funcs.append("#%d" % (entry & 0xFFFF) if entry & flag else self.cstr((entry & 0x7FFFFFFF) + 2))
                t += step
            result[self.cstr(name)] = funcs
            o += 20
        return result

    def delay_imports(self):
        """{dll: [functions]} of the delay-load descriptors. GNU ld leaves the
        data directory empty for dlltool's delay-import libraries, so without
        it the sections are scanned for descriptors (attributes 1, RVA-based)
        whose name is a .dll and whose name table holds names."""
        rva, _ = self.dirs[13]
        starts = [self.off(rva)] if rva else [raw + i for _, _, size, raw in self.sections
                                              for i in range(0, size - 32, 8)]
        result = {}
        step, flag = (8, 1 << 63) if self.is64 else (4, 1 << 31)
        for o in starts:
            while o + 32 <= len(self.data):
                # Attributes, the DLL's name, its module handle, its IAT, its name table.
                attributes, name, _, _, names = struct.unpack_from("<IIIII", self.data, o)
                if name == 0 or attributes != 1:
                    break
                try:
                    dll = self.cstr(name)
                    t = self.off(names)
                    funcs = []
                    while True:
                        entry = struct.unpack_from("<Q" if self.is64 else "<I", self.data, t)[0]
                        if entry == 0:
                            break
                        funcs.append("#%d" % (entry & 0xFFFF) if entry & flag else
                                     self.cstr((entry & 0x7FFFFFFF) + 2))
                        t += step
                except (ValueError, struct.error, UnicodeDecodeError):
                    break
                if not dll.lower().endswith(".dll") or not funcs:
                    break
                result[dll] = funcs
                o += 32
        return result

    def resources(self):
        """Yields (type, name, language, bytes) for every resource."""
        rva, _ = self.dirs[2]
        if not rva:
            return
        base = self.off(rva)

        def entries(o):
            named, ids = struct.unpack_from("<HH", self.data, o + 12)
            for i in range(named + ids):
                ident, target = struct.unpack_from("<II", self.data, o + 16 + 8 * i)
                if ident & 0x80000000:
                    so = base + (ident & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.data, so)[0]
                    ident = self.data[so + 2:so + 2 + 2 * n].decode("utf-16-le")
                yield ident, target

        for t, t_off in entries(base):
            for n, n_off in entries(base + (t_off & 0x7FFFFFFF)):
                for lang, l_off in entries(base + (n_off & 0x7FFFFFFF)):
                    drva, dsize = struct.unpack_from("<II", self.data, base + l_off)
                    o = self.off(drva)
                    yield t, n, lang, self.data[o:o + dsize]

    def strings(self):
        """{language: {id: text}} from the string tables."""
        out = {}
        for t, n, lang, blob in self.resources():
            if t != 6:
                continue
            pos = 0
            for i in range(16):
                length = struct.unpack_from("<H", blob, pos)[0]
                pos += 2
                if length:
                    out.setdefault(lang, {})[(n - 1) * 16 + i] = blob[pos:pos + 2 * length].decode("utf-16-le")
                pos += 2 * length
        return out

    def version_strings(self):
        """{name: text} of the version resource's string tables."""
        found = {}
        for t, _, _, blob in self.resources():
            if t == 16:
                _version_node(blob, 0, len(blob), found)
        return found


def _version_node(blob, pos, limit, found):
    """Reads one VS_VERSIONINFO node (length, value length, type, key, value,
    children) at pos; strings go into found. Returns the node's end."""
    length, value_length, kind = struct.unpack_from("<HHH", blob, pos)
    end = min(pos + length, limit)
    key_end = pos + 6
    while key_end + 1 < end and blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[pos + 6:key_end].decode("utf-16-le")
    at = (key_end + 2 + 3) & ~3
    size = value_length * 2 if kind == 1 else value_length
    if kind == 1 and size:  # a String: a leaf
        found[key] = blob[at:at + size].decode("utf-16-le").rstrip("\0")
        return end
    at = (at + size + 3) & ~3
    while length and at + 6 <= end:
        at = (_version_node(blob, at, end, found) + 3) & ~3
    return end


def report(path):
    pe = PE(path)
    name, exports = pe.exports()
    print("File: %s (%d bytes, %s)" % (path, len(pe.data), "PE32+ x64" if pe.is64 else "PE32"))
    print("Export directory name: %s" % name)
    for n, rva in sorted(exports.items()):
        print("  export %-16s rva 0x%x" % (n, rva))
    print("Imports:")
    for dll, funcs in pe.imports().items():
        print("  %-14s %d functions" % (dll, len(funcs)))
    strings = pe.strings()
    for lang in sorted(strings):
        label = {1024: "neutral (English)", 1041: "Japanese (1041)"}.get(lang, str(lang))
        print("String table, %s:" % label)
        for ident in sorted(strings[lang]):
            print("  %d  %s" % (ident, strings[lang][ident]))
    print("Other resources:")
    for t, n, lang, blob in pe.resources():
        if t == 6:
            continue
        print("  %-10s %-6s lang %-5s %6d bytes" % (RT_NAMES.get(t, t), n, lang, len(blob)))


def report_imports(path):
    """Every imported function, by DLL: what a Windows version must have to load the file."""
    for dll, funcs in PE(path).imports().items():
        print("%s: %s" % (dll, " ".join(sorted(funcs))))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--imports":
        report_imports(sys.argv[2])
    else:
        report(sys.argv[1])
