"""Writes the wheel dist/velk-<version>-cp311-abi3-manylinux_2_35_x86_64.whl
from a build tree, with the standard library only: every extension module of
<build>/python (built against the stable ABI of CPython 3.11), the package
velk_batch, the program `velk` as a script when it is built, and in velk.libs/
the shared libraries the engine loads when it factors a large system (CHOLMOD
and what it needs, with their licences), as this machine has them.

The manylinux tag promises that the programs run with any glibc from 2.35 on
and nothing else but the libraries every Linux has; the wheel is refused when
a program needs more (a newer glibc, the system's libstdc++).

    python3 packaging/make_wheel.py [--build-dir build] [--out dist]
"""

import argparse
import base64
import csv
import glob
import hashlib
import io
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DISTRIBUTION = "velk"
# The newest glibc the programs may need, as a build on Debian 12 (glibc 2.36)
# asks: hypot of libm has its version of 2.35, and so has _dl_find_object of
# the unwinder linked in; the C++ library asks pthread_once of 2.34.
GLIBC = (2, 35)
PLATFORM = f"manylinux_{GLIBC[0]}_{GLIBC[1]}_x86_64"
TAG = f"cp311-abi3-{PLATFORM}"
# The shared libraries a manylinux program may need (PEP 600: those every
# distribution has with its glibc), and the versions it may ask of them.
SYSTEM_LIBRARIES = ("libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1", "libgcc_s.so.1",
                    "ld-linux-x86-64.so.2")
# The unwinder of libgcc_s as GCC 4.8 had it, the oldest of every manylinux.
LIBGCC_S = (4, 8)
# The libraries the engine loads at run time (dlopen) from velk.libs beside
# the modules, each with every library it needs that manylinux does not
# promise. CHOLMOD is LGPL: it stays a shared library that can be replaced.
LOADED_LIBRARIES = ("libcholmod.so.3",)
BUNDLE_DIR = "velk.libs"
LICENSE = "LICENSE"
CLASSIFIERS = (
    "Development Status :: 4 - Beta",
    "Environment :: Console",
    "Intended Audience :: Science/Research",
    "License :: OSI Approved :: Apache Software License",
    "Operating System :: POSIX :: Linux",
    "Programming Language :: C++",
    "Programming Language :: Python :: 3",
    "Programming Language :: Python :: 3 :: Only",
    "Programming Language :: Python :: 3.11",
    "Programming Language :: Python :: 3.12",
    "Programming Language :: Python :: Implementation :: CPython",
    "Topic :: Scientific/Engineering",
    "Topic :: Scientific/Engineering :: Physics",
)
# Fixed times make the same inputs give the same wheel.
ZIP_TIME = (2020, 1, 1, 0, 0, 0)


def version():
    with open(os.path.join(SOURCE_DIR, "VERSION"), encoding="utf-8") as f:
        return f.read().strip()


def record_hash(data):
    digest = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


def read_source(name):
    with open(os.path.join(SOURCE_DIR, name), encoding="utf-8") as f:
        return f.read()


def metadata(ver):
    """The core metadata, with the README as the description a package index
    shows below the fields."""
    fields = [
        ("Metadata-Version", "2.1"),
        ("Name", DISTRIBUTION),
        ("Version", ver),
        ("Summary", "Structural analysis of 3D frames and trusses: the module velk_calculations and batch runs on Dask"),
        ("Keywords", "structural analysis,frame,truss,finite element,stiffness method,second order"),
        ("License", "Apache-2.0"),
        ("Platform", "Linux"),
        *(("Classifier", classifier) for classifier in CLASSIFIERS),
        ("Requires-Python", ">=3.11"),
        ("Description-Content-Type", "text/markdown"),
        ("License-File", LICENSE),
        ("Provides-Extra", "batch"),
        ("Requires-Dist", 'distributed>=2022.12; extra == "batch"'),
    ]
    head = "".join(f"{key}: {value}\n" for key, value in fields)
    return head + "\n" + read_source("README.md")


def wheel_file():
    return (
        "Wheel-Version: 1.0\n"
        "Generator: velk make_wheel.py\n"
        "Root-Is-Purelib: false\n"
        f"Tag: {TAG}\n"
    )


def elf_needs(path):
    """The shared libraries an ELF64 (little-endian) program or module needs,
    with the symbol versions it asks of each: {library: {version, ...}}, read
    from its dynamic section and its version needs (.gnu.version_r)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        raise ValueError(f"{path} is no little-endian 64-bit ELF file")
    section_offset, = struct.unpack_from("<Q", data, 0x28)
    entry_size, count = struct.unpack_from("<HH", data, 0x3A)
    sections = [struct.unpack_from("<IIQQQQIIQQ", data, section_offset + i * entry_size) for i in range(count)]

    def string(table, offset):
        start = sections[table][4] + offset
        return data[start:data.index(b"\0", start)].decode("ascii")

    dynamic_type, version_need_type, dt_needed = 6, 0x6FFFFFFE, 1
    needs = {}
    for _, kind, _, _, offset, size, link, info, _, _ in sections:
        if kind == dynamic_type:
            for at in range(offset, offset + size, 16):
                tag, value = struct.unpack_from("<qQ", data, at)
                if tag == dt_needed:
                    needs.setdefault(string(link, value), set())
        elif kind == version_need_type:
            at = offset
            for _ in range(info):
                _, aux_count, file, aux, following = struct.unpack_from("<HHIII", data, at)
                versions = needs.setdefault(string(link, file), set())
                aux_at = at + aux
                for _ in range(aux_count):
                    _, _, _, name, aux_following = struct.unpack_from("<IHHII", data, aux_at)
                    versions.add(string(link, name))
                    aux_at += aux_following
                at += following
    return needs


def version_number(version, prefix):
    """(2, 34) of "GLIBC_2.34" with prefix "GLIBC_"; None for other names."""
    match = re.fullmatch(re.escape(prefix) + r"(\d+(?:\.\d+)*)", version)
    return tuple(int(part) for part in match.group(1).split(".")) if match else None


def platform_faults(path, bundled=()):
    """What keeps the program at `path` from the wheel's platform tag, one
    sentence each; none when it runs wherever the tag promises (with the
    libraries named in `bundled` beside it)."""
    faults = []
    name = os.path.basename(path)
    for library, versions in sorted(elf_needs(path).items()):
        if library in bundled:
            continue
        if library not in SYSTEM_LIBRARIES:
            faults.append(f"{name} needs {library}, which {PLATFORM} does not promise")
            continue
        for version in sorted(versions):
            glibc = version_number(version, "GLIBC_")
            gcc = version_number(version, "GCC_")
            if glibc is not None:
                if glibc > GLIBC:
                    faults.append(f"{name} needs {version} of {library}, newer than {PLATFORM} promises")
            elif gcc is not None:
                if gcc > LIBGCC_S:
                    faults.append(f"{name} needs {version} of {library}, newer than every manylinux has")
            else:
                faults.append(f"{name} needs {version} of {library}, which {PLATFORM} does not promise")
    return faults


def library_closure(sonames):
    """[(soname, path)] of the libraries `sonames` and every library they
    need but manylinux does not promise, as this machine's loader finds them
    (ldd); a library it cannot find stops the wheel."""
    found = {}
    for soname in sonames:
        path = None
        for folder in ("/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu", "/usr/lib64", "/usr/lib"):
            if os.path.exists(os.path.join(folder, soname)):
                path = os.path.join(folder, soname)
                break
        if path is None:
            raise SystemExit(f"make_wheel: {soname} is not on this machine: install libsuitesparse-dev")
        found[soname] = path
        listing = subprocess.run(["ldd", path], capture_output=True, text=True, check=True).stdout
        for line in listing.splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[1] == "=>":
                if parts[2] == "not":
                    raise SystemExit(f"make_wheel: {parts[0]}, which {soname} needs, is not on this machine")
                if parts[0] not in SYSTEM_LIBRARIES:
                    found.setdefault(parts[0], parts[2])
    return sorted(found.items())


def licence_of(path):
    """(package, copyright file) of the Debian package that installed `path`."""
    owner = subprocess.run(["dpkg", "-S", os.path.realpath(path)], capture_output=True, text=True)
    if owner.returncode != 0:
        owner = subprocess.run(["dpkg", "-S", path], capture_output=True, text=True)
    if owner.returncode != 0:
        raise SystemExit(f"make_wheel: no Debian package owns {path}, so its licence is not known")
    package = owner.stdout.split(":")[0].strip()
    return package, f"/usr/share/doc/{package}/copyright"


def bundled_libraries(folder):
    """[(name in the wheel, path on disk)] of the loaded libraries, copied
    into `folder` and made to find each other there ($ORIGIN), and of their
    packages' licences."""
    if shutil.which("patchelf") is None:
        raise SystemExit("make_wheel: patchelf is needed to bundle the shared libraries: apt-get install patchelf")
    files, licences = [], {}
    for soname, path in library_closure(LOADED_LIBRARIES):
        copy = os.path.join(folder, soname)
        shutil.copyfile(os.path.realpath(path), copy)
        subprocess.run(["patchelf", "--set-rpath", "$ORIGIN", copy], check=True)
        files.append((f"{BUNDLE_DIR}/{soname}", copy))
        package, copyright_file = licence_of(path)
        licences[package] = copyright_file
    for package, copyright_file in sorted(licences.items()):
        files.append((f"{BUNDLE_DIR}/licences/{package}.copyright", copyright_file))
    return files


def contents(build_dir, ver):
    """(name in the wheel, path on disk, executable) of every payload file."""
    data_dir = f"{DISTRIBUTION}-{ver}.data"
    files = []
    modules = sorted(glob.glob(os.path.join(build_dir, "python", "*.abi3.so")))
    if not modules:
        raise SystemExit(f"make_wheel: no extension modules in {os.path.join(build_dir, 'python')}: build first")
    files += [(os.path.basename(path), path, False) for path in modules]
    package_dir = os.path.join(SOURCE_DIR, "python")
    for root, dirs, names in os.walk(package_dir):
        dirs[:] = sorted(d for d in dirs if d != "__pycache__" and not d.startswith("."))
        for name in sorted(names):
            if name.endswith(".py"):
                path = os.path.join(root, name)
                files.append((os.path.relpath(path, package_dir).replace(os.sep, "/"), path, False))
    program = os.path.join(build_dir, "velk")
    if os.path.isfile(program) and os.access(program, os.X_OK):
        files.append((f"{data_dir}/scripts/velk", program, True))
    return files


def add(archive, name, data, executable=False):
    info = zipfile.ZipInfo(name, date_time=ZIP_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = (0o100755 if executable else 0o100644) << 16
    archive.writestr(info, data)


def build(build_dir, out_dir):
    ver = version()
    dist_info = f"{DISTRIBUTION}-{ver}.dist-info"
    os.makedirs(out_dir, exist_ok=True)
    path = os.path.join(out_dir, f"{DISTRIBUTION}-{ver}-{TAG}.whl")
    entries = []
    files = contents(build_dir, ver)
    with tempfile.TemporaryDirectory() as folder:
        libraries = bundled_libraries(folder)
        sonames = {os.path.basename(name) for name, _ in libraries}
        faults = [fault for name, source, _ in files if name.endswith(".so") or name.endswith("/velk")
                  for fault in platform_faults(source)]
        faults += [fault for name, source in libraries if not name.endswith(".copyright")
                   for fault in platform_faults(source, sonames)]
        if faults:
            raise SystemExit("make_wheel: " + "; ".join(faults))
        for name, source in libraries:
            with open(source, "rb") as f:
                entries.append((name, f.read(), False))
    for name, source, executable in files:
        with open(source, "rb") as f:
            entries.append((name, f.read(), executable))
    entries += [
        (f"{dist_info}/METADATA", metadata(ver).encode("utf-8"), False),
        (f"{dist_info}/{LICENSE}", read_source(LICENSE).encode("utf-8"), False),
        (f"{dist_info}/WHEEL", wheel_file().encode("utf-8"), False),
        (f"{dist_info}/entry_points.txt", b"[console_scripts]\nvelk-batch = velk_batch.__main__:main\n", False),
    ]
    record = io.StringIO()
    writer = csv.writer(record, lineterminator="\n")
    for name, data, _ in entries:
        writer.writerow((name, record_hash(data), len(data)))
    writer.writerow((f"{dist_info}/RECORD", "", ""))

    temporary = path + ".tmp"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name, data, executable in entries:
            add(archive, name, data, executable)
        add(archive, f"{dist_info}/RECORD", record.getvalue().encode("utf-8"))
    os.replace(temporary, path)
    return path


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(SOURCE_DIR, "build"))
    parser.add_argument("--out", default=os.path.join(SOURCE_DIR, "dist"))
    options = parser.parse_args(argv)
    print(build(options.build_dir, options.out))


if __name__ == "__main__":
    sys.exit(main())
