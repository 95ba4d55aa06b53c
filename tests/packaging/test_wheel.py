"""The wheel: its metadata, licence and record check out, its programs need
no newer glibc than its manylinux tag, and pip installs it into a fresh
virtual environment of each interpreter, with no index, where the example runs
through it, a batch runs on a local cluster, and velk-batch without Dask says
what to install."""

import base64
import csv
import email.parser
import glob
import hashlib
import io
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

SOURCE_DIR = os.environ["VELK_SOURCE_DIR"]
BUILD_DIR = os.environ["VELK_BUILD_DIR"]
PYTHONS = [p for p in os.environ.get("VELK_TEST_PYTHONS", sys.executable).split(":") if p]
sys.path.insert(0, os.path.join(SOURCE_DIR, "packaging"))

import make_wheel  # noqa: E402

with open(os.path.join(SOURCE_DIR, "VERSION"), encoding="utf-8") as f:
    VERSION = f.read().strip()
EXAMPLE = os.path.join(SOURCE_DIR, "examples", "portal_frame.json")
TAG = "cp311-abi3-manylinux_2_35_x86_64"
NEWEST_GLIBC = (2, 35)
MISSING_DISTRIBUTED = "velk_batch needs Dask's distributed: install velk[batch] or Debian's python3-distributed\n"


def read_source(name):
    with open(os.path.join(SOURCE_DIR, name), encoding="utf-8") as f:
        return f.read()


def objdump_needs(path):
    """{library: {version, ...}} as binutils read them: the NEEDED entries of
    `readelf -d` and the version needs of `readelf -V`."""
    dynamic = subprocess.run(["readelf", "-dW", path], capture_output=True, text=True, check=True).stdout
    needs = {name: set() for name in re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)}
    versions = subprocess.run(["readelf", "-VW", path], capture_output=True, text=True, check=True).stdout
    library = None
    for line in versions.split("Version needs section", 1)[-1].splitlines():
        file = re.search(r"File: (\S+)", line)
        if file:
            library = file.group(1)
            needs.setdefault(library, set())
        name = re.search(r"Name: (\S+)\s+Flags", line)
        if name and library:
            needs[library].add(name.group(1))
    return needs


def programs(build_dir):
    """The extension modules and velk, as they go into the wheel."""
    found = sorted(glob.glob(os.path.join(build_dir, "python", "*.abi3.so")))
    velk = os.path.join(build_dir, "velk")
    return found + ([velk] if os.access(velk, os.X_OK) else [])


def clean_environment():
    """This process's environment without anything that finds the build tree."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME", "VIRTUAL_ENV")}
    env["PIP_NO_INDEX"] = "1"
    env["PIP_DISABLE_PIP_VERSION_CHECK"] = "1"
    return env


def setUpModule():
    global FOLDER, WHEEL
    FOLDER = tempfile.TemporaryDirectory()
    WHEEL = make_wheel.build(BUILD_DIR, os.path.join(FOLDER.name, "dist"))


def tearDownModule():
    FOLDER.cleanup()


class WheelContentsTest(unittest.TestCase):
    def test_name_metadata_and_record(self):
        self.assertEqual(os.path.basename(WHEEL), f"velk-{VERSION}-{TAG}.whl")
        dist_info = f"velk-{VERSION}.dist-info"
        with zipfile.ZipFile(WHEEL) as archive:
            names = archive.namelist()
            wheel = archive.read(f"{dist_info}/WHEEL").decode()
            metadata = archive.read(f"{dist_info}/METADATA").decode()
            record = list(csv.reader(io.StringIO(archive.read(f"{dist_info}/RECORD").decode())))
            # Every file but the record itself, once, with its hash and size.
            self.assertEqual(sorted(row[0] for row in record), sorted(names))
            for name, digest, size in record:
                if name == f"{dist_info}/RECORD":
                    self.assertEqual((digest, size), ("", ""))
                    continue
                data = archive.read(name)
                expected = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
                self.assertEqual((digest, int(size)), ("sha256=" + expected, len(data)), name)
            modes = {info.filename: info.external_attr >> 16 for info in archive.infolist()}
        self.assertIn("Root-Is-Purelib: false\n", wheel)
        self.assertIn(f"Tag: {TAG}\n", wheel)
        self.assertIn(f"Name: velk\nVersion: {VERSION}\n", metadata)
        self.assertIn("Requires-Python: >=3.11\n", metadata)

        modules = sorted(os.path.basename(p) for p in glob.glob(os.path.join(BUILD_DIR, "python", "*.abi3.so")))
        self.assertIn("velk_calculations.abi3.so", modules)
        self.assertEqual(sorted(n for n in names if n.endswith(".so")), modules)
        self.assertIn("velk_batch/__main__.py", names)
        self.assertFalse([n for n in names if "__pycache__" in n])
        program = f"velk-{VERSION}.data/scripts/velk"
        if os.access(os.path.join(BUILD_DIR, "velk"), os.X_OK):
            self.assertEqual(modes[program] & 0o777, 0o755)
        else:
            self.assertNotIn(program, names)

    def test_metadata_a_package_index_shows(self):
        dist_info = f"velk-{VERSION}.dist-info"
        with zipfile.ZipFile(WHEEL) as archive:
            metadata = email.parser.Parser().parsestr(archive.read(f"{dist_info}/METADATA").decode())
            license_text = archive.read(f"{dist_info}/LICENSE").decode()
        self.assertEqual(metadata["Metadata-Version"], "2.1")
        self.assertEqual(metadata["Summary"], "Structural analysis of 3D frames and trusses: the module "
                                              "velk_calculations and batch runs on Dask")
        # The README is the description, whole, as Markdown.
        self.assertEqual(metadata.get_payload(), read_source("README.md"))
        self.assertEqual(metadata["Description-Content-Type"], "text/markdown")
        # The licence is declared three ways and shipped.
        self.assertEqual(metadata["License"], "Apache-2.0")
        self.assertEqual(metadata["License-File"], "LICENSE")
        self.assertEqual(license_text, read_source("LICENSE"))
        self.assertTrue(license_text.lstrip().startswith("Apache License\n                           Version 2.0, January 2004"))
        self.assertIn("END OF TERMS AND CONDITIONS", license_text)
        classifiers = metadata.get_all("Classifier")
        self.assertIn("License :: OSI Approved :: Apache Software License", classifiers)
        self.assertIn("Operating System :: POSIX :: Linux", classifiers)
        self.assertIn("Programming Language :: Python :: 3.11", classifiers)
        self.assertEqual(len(classifiers), len(set(classifiers)))
        self.assertEqual(metadata.get_all("Provides-Extra"), ["batch"])
        self.assertEqual(metadata.get_all("Requires-Dist"), ['distributed>=2022.12; extra == "batch"'])

    def test_programs_need_no_newer_glibc_than_the_tag(self):
        # Read with binutils, apart from the wheel writer's own reader, which
        # must agree: the C++ runtime is linked in, so only glibc's libraries
        # are needed, at versions no newer than the manylinux tag promises.
        found = programs(BUILD_DIR)
        self.assertIn(os.path.join(BUILD_DIR, "python", "velk_calculations.abi3.so"), found)
        for path in found:
            with self.subTest(program=os.path.basename(path)):
                needs = objdump_needs(path)
                self.assertEqual(needs, make_wheel.elf_needs(path))
                self.assertLessEqual(set(needs), {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"})
                versions = set().union(*needs.values())
                glibc = [tuple(map(int, v[len("GLIBC_"):].split("."))) for v in versions
                         if re.fullmatch(r"GLIBC_[0-9.]+", v)]
                self.assertEqual(sorted(versions - {f"GLIBC_{'.'.join(map(str, v))}" for v in glibc}), [])
                self.assertLessEqual(max(glibc), NEWEST_GLIBC)
                self.assertEqual(make_wheel.platform_faults(path), [])
        self.assertEqual(make_wheel.GLIBC, NEWEST_GLIBC)

    def test_a_program_on_the_systems_cxx_library_is_refused(self):
        # A module linked the ordinary way needs libstdc++.so.6 and its
        # GLIBCXX versions, which no manylinux tag promises.
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "plain.cpp")
            with open(source, "w", encoding="utf-8") as f:
                f.write('#include <string>\nextern "C" int length(const char* s) { return std::string(s).size(); }\n')
            module = os.path.join(folder, "plain.so")
            subprocess.run(["g++", "-shared", "-fPIC", "-O1", source, "-o", module], check=True)
            faults = make_wheel.platform_faults(module)
        self.assertIn("plain.so needs libstdc++.so.6, which manylinux_2_35_x86_64 does not promise", faults)

    def test_modules_export_only_their_entry_point(self):
        # The engine inside each module stays private to it, so modules on the
        # same core load side by side without one binding the other's code.
        for path in glob.glob(os.path.join(BUILD_DIR, "python", "*.abi3.so")):
            nm = subprocess.run(["nm", "-D", "--defined-only", path], capture_output=True, text=True, check=True)
            exported = sorted(line.split()[-1] for line in nm.stdout.splitlines() if line.split()[-2] in "TDBRV")
            module = os.path.basename(path)[: -len(".abi3.so")]
            self.assertEqual(exported, [f"PyInit_{module}"], path)

    def test_same_inputs_give_the_same_wheel(self):
        with tempfile.TemporaryDirectory() as again:
            second = make_wheel.build(BUILD_DIR, again)
            with open(WHEEL, "rb") as a, open(second, "rb") as b:
                self.assertEqual(a.read(), b.read())


class InstallTest(unittest.TestCase):
    def install(self, python, folder, system=True):
        """A fresh environment of `python`, the wheel installed into it by
        that interpreter's pip (the environment itself gets no pip of its own,
        which saves a minute of setting one up); with `system` false it sees
        none of the system's site packages."""
        venv = os.path.join(folder, "venv")
        # Debian's Dask comes from the system's site packages.
        subprocess.run([python, "-m", "venv", "--without-pip", *(["--system-site-packages"] if system else []),
                        venv], check=True, env=clean_environment())
        venv_python = os.path.join(venv, "bin", "python")
        pip = subprocess.run([python, "-m", "pip", "--python", venv_python, "install", "--no-index", WHEEL],
                             capture_output=True, text=True, env=clean_environment())
        self.assertEqual(pip.returncode, 0, pip.stdout + pip.stderr)
        return venv, venv_python

    def test_installs_and_runs_the_example_under_each_interpreter(self):
        self.assertGreaterEqual(len(PYTHONS), 1)
        for python in PYTHONS:
            with self.subTest(python=python), tempfile.TemporaryDirectory() as folder:
                venv, venv_python = self.install(python, folder)
                where = subprocess.run([venv_python, "-c", "import velk_calculations; print(velk_calculations.__file__)"],
                                       capture_output=True, text=True, env=clean_environment(), cwd=folder)
                self.assertEqual(where.returncode, 0, where.stderr)
                self.assertTrue(where.stdout.strip().startswith(venv), where.stdout)
                self.assertTrue(where.stdout.strip().endswith("velk_calculations.abi3.so"))

                example = subprocess.run([venv_python, os.path.join(SOURCE_DIR, "examples", "run_examples.py"),
                                          EXAMPLE], capture_output=True, text=True, env=clean_environment(),
                                         cwd=folder)
                self.assertEqual(example.returncode, 0, example.stderr)
                self.assertTrue(example.stdout.startswith(
                    f"{EXAMPLE}: 10 members, 2 load cases, 1 combinations, results in m and kN\n"))
                self.assertIn("    largest displacement 0.04424 m at node 2", example.stdout)
                self.assertTrue(os.access(os.path.join(venv, "bin", "velk-batch"), os.X_OK))
                if os.access(os.path.join(BUILD_DIR, "velk"), os.X_OK):
                    self.assertTrue(os.access(os.path.join(venv, "bin", "velk"), os.X_OK))

                has_dask = subprocess.run([venv_python, "-c", "import distributed"], capture_output=True,
                                          env=clean_environment()).returncode == 0
                if not has_dask:
                    continue
                # The workers of the local cluster import the module from the
                # environment too.
                out = os.path.join(folder, "out")
                batch = subprocess.run([venv_python, "-m", "velk_batch", "run", EXAMPLE, "--out", out,
                                        "--workers", "1"], capture_output=True, text=True, env=clean_environment(),
                                       cwd=folder)
                self.assertEqual(batch.returncode, 0, batch.stderr)
                self.assertIn("1 models: 1 analysed, 0 failed, 0 skipped", batch.stdout)
                serial = subprocess.run([venv_python, "-c", "import sys, velk_calculations; "
                                         "sys.stdout.write(velk_calculations.calculate_from_file(sys.argv[1]))",
                                         EXAMPLE], capture_output=True, text=True, env=clean_environment())
                with open(os.path.join(out, "portal_frame.json"), encoding="utf-8") as f:
                    self.assertEqual(f.read(), serial.stdout)

    def test_a_large_model_factors_with_the_libraries_the_wheel_carries(self):
        # A building of some 700 members is large enough for the supernodal
        # Cholesky: the module and the installed program load CHOLMOD and
        # everything it needs from the wheel's velk.libs, never from the
        # system, and give the build tree's results.
        writer = os.path.join(BUILD_DIR, "bench", "write_bench_frame")
        if not os.access(writer, os.X_OK):
            self.skipTest("the benchmarks' frame writer is not built")
        bundled = {os.path.basename(name) for name in zipfile.ZipFile(WHEEL).namelist()
                   if name.startswith("velk.libs/") and ".so" in name}
        self.assertIn("libcholmod.so.3", bundled)
        with tempfile.TemporaryDirectory() as folder:
            venv, venv_python = self.install(PYTHONS[0], folder, system=False)
            model = os.path.join(folder, "building.json")
            with open(model, "w", encoding="utf-8") as f:
                subprocess.run([writer, "700"], stdout=f, stderr=subprocess.DEVNULL, check=True)
            script = ("import sys, velk_tools\n"
                      "sys.stdout.write(velk_tools.analyse(open(sys.argv[1]).read(), max_members=2000))")
            expected = subprocess.run([sys.executable, "-c", script, model], capture_output=True, text=True,
                                      env=dict(os.environ, PYTHONPATH=os.path.join(BUILD_DIR, "python")))
            self.assertEqual(expected.returncode, 0, expected.stderr)
            # The loader names every library it starts, with the path it
            # found it at.
            env = dict(clean_environment(), LD_DEBUG="libs")
            runs = {"module": [venv_python, "-c", script, model]}
            if os.access(os.path.join(venv, "bin", "velk"), os.X_OK):
                runs["program"] = [os.path.join(venv, "bin", "velk"), "analyse", model, "--max-members", "2000",
                                   "-o", os.path.join(folder, "program.json")]
            for run, command in runs.items():
                with self.subTest(run=run):
                    result = subprocess.run(command, capture_output=True, text=True, env=env, cwd=folder)
                    self.assertEqual(result.returncode, 0, result.stderr[-2000:])
                    opened = re.findall(r"calling init: (/\S+)", result.stderr)
                    from_wheel = {os.path.basename(path) for path in opened
                                  if os.path.dirname(path).endswith("/site-packages/velk.libs")}
                    self.assertEqual(from_wheel, bundled, result.stderr[-3000:])
                    strays = [path for path in opened if os.path.basename(path) in bundled
                              and not os.path.dirname(path).endswith("/site-packages/velk.libs")]
                    self.assertEqual(strays, [])
                    if run == "module":
                        self.assertEqual(result.stdout, expected.stdout)
                    else:
                        with open(os.path.join(folder, "program.json"), encoding="utf-8") as f:
                            self.assertEqual(f.read(), expected.stdout)

    def test_velk_batch_without_dask_says_what_to_install(self):
        for python in PYTHONS:
            with self.subTest(python=python), tempfile.TemporaryDirectory() as folder:
                venv, venv_python = self.install(python, folder, system=False)
                for command in ([os.path.join(venv, "bin", "velk-batch"), "--help"],
                                [venv_python, "-m", "velk_batch", "run", EXAMPLE, "--out", "out"]):
                    batch = subprocess.run(command, capture_output=True, text=True, env=clean_environment(),
                                           cwd=folder)
                    self.assertEqual((batch.returncode, batch.stdout, batch.stderr), (2, "", MISSING_DISTRIBUTED))
                # The package imports; a batch from Python raises the same sentence.
                api = subprocess.run([venv_python, "-c", "import velk_batch\ntry:\n velk_batch.run([], out='out')\n"
                                      "except ModuleNotFoundError as e:\n print(e.name, e, sep=': ')"],
                                     capture_output=True, text=True, env=clean_environment(), cwd=folder)
                self.assertEqual((api.returncode, api.stdout), (0, "distributed: " + MISSING_DISTRIBUTED), api.stderr)


if __name__ == "__main__":
    unittest.main()
