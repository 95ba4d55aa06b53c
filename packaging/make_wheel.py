"""Writes the wheel dist/velk-<version>-cp311-abi3-linux_x86_64.whl from a
build tree, with the standard library only: every extension module of
<build>/python (built against the stable ABI of CPython 3.11), the package
velk_batch, and the program `velk` as a script when it is built.

    python3 packaging/make_wheel.py [--build-dir build] [--out dist]
"""

import argparse
import base64
import csv
import glob
import hashlib
import io
import os
import sys
import zipfile

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DISTRIBUTION = "velk"
TAG = "cp311-abi3-linux_x86_64"
# Fixed times make the same inputs give the same wheel.
ZIP_TIME = (2020, 1, 1, 0, 0, 0)


def version():
    with open(os.path.join(SOURCE_DIR, "VERSION"), encoding="utf-8") as f:
        return f.read().strip()


def record_hash(data):
    digest = hashlib.sha256(data).digest()
    return "sha256=" + base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


def metadata(ver):
    return (
        "Metadata-Version: 2.1\n"
        f"Name: {DISTRIBUTION}\n"
        f"Version: {ver}\n"
        "Summary: Structural analysis of 3D frames and trusses: the module velk_calculations and batch runs on Dask\n"
        "Requires-Python: >=3.11\n"
        "Provides-Extra: batch\n"
        'Requires-Dist: distributed>=2022.12; extra == "batch"\n'
    )


def wheel_file():
    return (
        "Wheel-Version: 1.0\n"
        "Generator: velk make_wheel.py\n"
        "Root-Is-Purelib: false\n"
        f"Tag: {TAG}\n"
    )


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
    for name, source, executable in contents(build_dir, ver):
        with open(source, "rb") as f:
            entries.append((name, f.read(), executable))
    entries += [
        (f"{dist_info}/METADATA", metadata(ver).encode("utf-8"), False),
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
