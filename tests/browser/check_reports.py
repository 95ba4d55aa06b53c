"""Renders velk reports in headless Chromium and checks them from the page.

For every model file given: `velk report MODEL -o REPORT.html --modes 3`, then Chromium
(DevTools protocol over --remote-debugging-pipe, standard library only) loads
the page and the script checks that
- it loads without console errors, exceptions or requests of any resource;
- every picture draws each member as one visible path, the deformed shapes one
  per member, the moment diagrams one per member that has diagrams; a model of
  more than 200 members draws its members in paths of a kind that count them
  (data-member-count), without numbers, and has no load, moment or envelope
  pictures, and its tables list the governing members only;
- every load case and combination of the model has its section with its five
  pictures and its four tables (the case count taken from the model file);
- every limit state of the combinations has its envelope section with the Mz,
  My and N envelopes (both curves on every member with diagrams) and the
  tables of governing values and reactions;
- every case has its elastic stability, its first buckling mode drawn over
  every member; the page ends with the natural modes, a row per mode and the
  first mode shapes each over every member;
- the screenshot (PNG, decoded here) is not blank;
- printed (A4, the page's own size), each case starts a page of its own.
Each report leaves NAME.html, NAME.png (the top of the page) and NAME_case.png
(the top of its first case) in --out.
--broken MODEL expects a model that cannot be analysed: a report with the
model's pictures, the error and no cases. --self-test first shows that a page
with a console error and a missing image fails the checks.

Exit status 0 when every report passes."""

import argparse
import base64
import fcntl
import json
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--remote-debugging-pipe", "--hide-scrollbars", "--mute-audio"]

PAGE_CHECK = r"""
(() => {
  const problems = [];
  const body = document.body;
  const members = Number(body.dataset.members);
  const cases = Number(body.dataset.cases);
  const visible = (p) => {
    const style = getComputedStyle(p);
    return p.getAttribute('d') && style.display !== 'none' && style.visibility !== 'hidden' &&
           style.stroke !== 'none' && Number(style.strokeWidth.replace('px', '')) > 0;
  };
  // A large model's pictures gather the members of a kind into one path.
  const large = members > 200;
  const distinct = (svg, selector) => {
    const drawn = [...svg.querySelectorAll(selector)].filter(visible);
    const ids = new Set(drawn.filter((p) => p.dataset.member).map((p) => p.dataset.member));
    const gathered = drawn.reduce((sum, p) => sum + Number(p.dataset.memberCount ?? 0), 0);
    return {size: ids.size + gathered};
  };
  const structure = document.querySelectorAll('svg.view.structure');
  if (structure.length !== 4) problems.push(`${structure.length} structure views instead of 4`);
  const rigid = structure.length ? structure[0].querySelectorAll('path.member.t-rigid').length : 0;
  for (const svg of document.querySelectorAll('svg.view')) {
    const name = `${svg.closest('section.case')?.dataset.case ?? 'model'} ${svg.getAttribute('class')} ${svg.dataset.view}`;
    const paths = large ? 0 : svg.querySelectorAll('path.member').length;
    const drawn = distinct(svg, 'path.member').size;
    const kind = svg.classList[1];
    // A large model's case pictures draw the members once, in their overlay.
    const overlaid = large && ['deformed', 'axial', 'buckling', 'mode'].includes(kind);
    if (!overlaid && (large ? drawn !== members : paths !== members || drawn !== members))
      problems.push(`${name}: ${paths} member paths, ${drawn} drawn, for ${members} members`);
    if (large && svg.querySelectorAll('text.nid, text.mid').length)
      problems.push(`${name}: node or member numbers on a model of ${members} members`);
  }
  const sections = document.querySelectorAll('section.case');
  if (sections.length !== cases) problems.push(`${sections.length} case sections, page says ${cases}`);
  for (const section of sections) {
    const name = section.dataset.case;
    for (const kind of large ? ['deformed', 'axial'] : ['loads', 'deformed', 'diagram-mz', 'diagram-my', 'axial']) {
      const svg = section.querySelector(`svg.view.${kind}`);
      if (!svg) { problems.push(`${name}: no ${kind} picture`); continue; }
      const overlay = kind === 'deformed' ? distinct(svg, 'path.deformed').size
                    : kind.startsWith('diagram') ? distinct(svg, 'path.diagram').size
                    : large && kind === 'axial' ? distinct(svg, 'path.axial').size : null;
      const expected = kind === 'deformed' || kind === 'axial' ? members : members - rigid;
      if (overlay !== null && overlay !== expected)
        problems.push(`${name}: ${overlay} paths in ${kind}, expected ${expected}`);
    }
    // The elastic stability of the case: its factor or why there is none,
    // and the first buckling mode drawn over every member.
    if (!section.querySelector('.stability .alpha-cr, .stability .stability-error'))
      problems.push(`${name}: no elastic stability`);
    const buckling = section.querySelector('svg.view.buckling');
    if (buckling && distinct(buckling, 'path.mode').size !== members)
      problems.push(`${name}: ${distinct(buckling, 'path.mode').size} members in the buckling mode, expected ${members}`);
    const rows = (cls) => section.querySelectorAll(`table.${cls} tr`).length;
    if (rows('reactions') < 4) problems.push(`${name}: reactions table without the sums`);
    if (rows('displacements') < 2) problems.push(`${name}: no displacements`);
    // A large model's tables: the members that hold an extreme of one of
    // the eight components, at least one and at most two each.
    const listed = large ? rows('extremes') - 1 : members - rigid;
    if (large && (listed < 1 || listed > 16 || !section.querySelector('p.governing')))
      problems.push(`${name}: ${listed} governing members listed`);
    if (rows('extremes') !== listed + 1) problems.push(`${name}: ${rows('extremes') - 1} span extreme rows`);
    if (rows('end-forces') !== 2 * listed + 1) problems.push(`${name}: ${rows('end-forces') - 1} end force rows`);
  }
  const envelopes = document.querySelectorAll('section.envelope');
  const designed = members - rigid;
  for (const section of envelopes) {
    const name = `envelope ${section.dataset.limitState}`;
    for (const kind of large ? [] : ['envelope-mz', 'envelope-my', 'envelope-n']) {
      const svg = section.querySelector(`svg.view.${kind}`);
      if (!svg) { problems.push(`${name}: no ${kind} picture`); continue; }
      for (const curve of ['max', 'min']) {
        const drawn = distinct(svg, `path.envelope.${curve}`).size;
        if (drawn !== designed) problems.push(`${name}: ${drawn} ${curve} curves in ${kind}, expected ${designed}`);
      }
    }
    const rows = (cls) => section.querySelectorAll(`table.${cls} tr`).length;
    const governing = rows('envelope-extremes') - 1;
    if (large ? governing < 1 || governing > 16 : governing !== designed)
      problems.push(`${name}: ${governing} member rows`);
    if (rows('envelope-reactions') < 2) problems.push(`${name}: no reaction envelope`);
  }
  // The natural modes at the end (velk report --modes): the table and the
  // first mode shapes, each over every member.
  const modes = document.querySelectorAll('section.modes');
  for (const section of modes) {
    const count = Number(section.dataset.modes);
    if (section.querySelector('.error-box')) continue;
    if (section.querySelectorAll('table.modes tr').length !== count + 1)
      problems.push(`natural modes: ${section.querySelectorAll('table.modes tr').length - 1} rows for ${count} modes`);
    const shapes = section.querySelectorAll('svg.view.mode');
    if (shapes.length < 1) problems.push('natural modes: no mode shape drawn');
    for (const svg of shapes) {
      const drawn = distinct(svg, 'path.mode-shape').size;
      if (drawn !== members) problems.push(`mode ${svg.dataset.mode}: ${drawn} members drawn, expected ${members}`);
    }
  }
  if (document.scripts.length !== 0) problems.push('the page holds scripts');
  for (const element of document.querySelectorAll('[src], link[href], [srcset]'))
    problems.push(`the page refers to ${element.outerHTML.slice(0, 80)}`);
  const resources = performance.getEntriesByType('resource').map((r) => r.name);
  if (resources.length) problems.push(`resources requested: ${resources.join(', ')}`);
  return {members, cases, rigid, sections: sections.length, envelopes: envelopes.length, modes: modes.length, problems,
          error: document.querySelector('.analysis-error')?.textContent ?? null,
          findings: document.querySelectorAll('.findings li').length};
})()
"""


class Browser:
    """One headless Chromium driven over its DevTools pipe (fd 3 in, fd 4 out)."""

    def __init__(self, executable, profile):
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def wire():
            high_in = fcntl.fcntl(to_browser_read, fcntl.F_DUPFD, 100)
            high_out = fcntl.fcntl(from_browser_write, fcntl.F_DUPFD, 100)
            os.dup2(high_in, 3)
            os.dup2(high_out, 4)

        self.process = subprocess.Popen([executable, *CHROMIUM_FLAGS, f"--user-data-dir={profile}", "about:blank"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, preexec_fn=wire, pass_fds=(3, 4))
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b""
        self.events = []
        self.next_id = 0

    def send(self, method, params=None, session=None, timeout=60.0):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            for reply in self._read(deadline):
                if reply.get("id") == self.next_id:
                    if "error" in reply:
                        raise RuntimeError(f"{method}: {reply['error']}")
                    return reply.get("result", {})
                self.events.append(reply)

    def wait_for(self, method, timeout=120.0):
        deadline = time.monotonic() + timeout
        while True:
            for index, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(index)
            self.events.extend(self._read(deadline))

    def _read(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("Chromium did not answer in time")
            ready, _, _ = select.select([self.from_browser], [], [], left)
            if ready:
                chunk = os.read(self.from_browser, 1 << 20)
                if not chunk:
                    raise RuntimeError("Chromium closed its DevTools pipe")
                self.buffer += chunk
        *messages, self.buffer = self.buffer.split(b"\0")
        return [json.loads(m) for m in messages if m]

    def close(self):
        try:
            self.send("Browser.close", timeout=10.0)
        except Exception:  # noqa: BLE001 - closing is best effort; the process is killed below
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        os.close(self.from_browser)


def console_errors(events, session):
    errors = []
    for event in events:
        if event.get("sessionId") != session:
            continue
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            errors.append("console: " + " ".join(str(a.get("value", a.get("description"))) for a in params["args"]))
        elif method == "Runtime.exceptionThrown":
            errors.append("exception: " + params["exceptionDetails"].get("text", ""))
        elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
            errors.append("log: " + params["entry"].get("text", ""))
    return errors


FIRST_CASE_BOX = r"""
(() => {
  const section = document.querySelector('section.case') ?? document.body;
  const box = section.getBoundingClientRect();
  return {x: box.left + scrollX, y: box.top + scrollY, width: box.width, height: Math.min(box.height, 1350)};
})()
"""


def render(browser, html_path, png_path, case_png_path=None):
    """Loads the page in a fresh tab; returns (page check result, console errors).
    With case_png_path, also a picture of the top of the first case."""
    target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
    session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
    for domain in ("Runtime", "Log", "Page"):
        browser.send(f"{domain}.enable", session=session)
    browser.send("Emulation.setDeviceMetricsOverride",
                 {"width": 1100, "height": 1500, "deviceScaleFactor": 1, "mobile": False}, session=session)
    browser.events.clear()
    browser.send("Page.navigate", {"url": "file://" + os.path.abspath(html_path)}, session=session)
    browser.wait_for("Page.loadEventFired")
    time.sleep(0.3)  # late console messages
    checked = browser.send("Runtime.evaluate", {"expression": PAGE_CHECK, "returnByValue": True}, session=session)
    if "exceptionDetails" in checked:
        raise RuntimeError(f"page check failed to run: {checked['exceptionDetails']}")
    shot = browser.send("Page.captureScreenshot", {"format": "png"}, session=session)
    with open(png_path, "wb") as out:
        out.write(base64.b64decode(shot["data"]))
    if case_png_path:
        box = browser.send("Runtime.evaluate", {"expression": FIRST_CASE_BOX, "returnByValue": True},
                           session=session)["result"]["value"]
        shot = browser.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True,
                                                       "clip": dict(box, scale=1)}, session=session)
        with open(case_png_path, "wb") as out:
            out.write(base64.b64decode(shot["data"]))
    # Printed on A4 (the page's own @page size): one page at least for the
    # model and one for each case, which starts a page of its own.
    pdf = base64.b64decode(browser.send("Page.printToPDF", {"preferCSSPageSize": True}, session=session,
                                        timeout=300.0)["data"])
    page = checked["result"]["value"]
    page["printed_pages"] = len(re.findall(rb"/Type\s*/Page[^s]", pdf))
    errors = console_errors(browser.events, session)
    browser.send("Target.closeTarget", {"targetId": target})
    return page, errors


def png_pixels(path):
    """Width, height and RGB rows of an 8-bit RGB or RGBA PNG without interlacing."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path} is not a PNG")
    position, idat = 8, b""
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError(f"{path}: PNG layout {depth}/{colour}/{interlace} not handled")
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + predictor) & 255
        rows.append([bytes(line[c:c + 3]) for c in range(0, stride, channels)])
        previous = line
    return width, height, rows


def picture_problems(png_path):
    width, height, rows = png_pixels(png_path)
    inked, colours = 0, set()
    for row in rows:
        for pixel in row:
            if min(pixel) < 235:
                inked += 1
            colours.add(bytes(p >> 4 for p in pixel))
    share = inked / float(width * height)
    problems = []
    if share < 0.01:
        problems.append(f"screenshot nearly blank: {share:.2%} of the pixels inked")
    if len(colours) < 8:
        problems.append(f"screenshot has only {len(colours)} colours")
    return problems


def case_count(model_path):
    with open(model_path, encoding="utf-8") as f:
        model = json.load(f)
    options = model["settings"]["analysis_options"]
    cases = len(model["load_cases"]) if options.get("solve_loadcases", True) else 0
    return cases + len(model["load_combinations"])


def envelope_count(model_path):
    """One envelope per limit state of the combinations, or one of them all
    when none names a limit state."""
    with open(model_path, encoding="utf-8") as f:
        model = json.load(f)
    combinations = model["load_combinations"]
    states = {c.get("limit_state") for c in combinations} - {None}
    return len(states) if states else (1 if combinations else 0)


def check_report(browser, velk, model_path, out_dir, broken=False):
    name = os.path.splitext(os.path.basename(model_path))[0]
    html_path = os.path.join(out_dir, name + ".html")
    png_path = os.path.join(out_dir, name + ".png")
    started = time.monotonic()
    # Every report ends with the natural modes, as `velk report --modes` writes them.
    run = subprocess.run([velk, "report", model_path, "-o", html_path, "--modes", "3", "--max-members", "100000"],
                         capture_output=True, text=True)
    took = time.monotonic() - started
    # A model that cannot be analysed still gets its page, with the status 1.
    if run.returncode != (1 if broken else 0) or not os.path.exists(html_path):
        return [f"velk report exited with {run.returncode}: {run.stderr.strip()}"]
    page, errors = render(browser, html_path, png_path, os.path.join(out_dir, name + "_case.png"))
    problems = list(page["problems"]) + errors + picture_problems(png_path)
    expected_cases = 0 if broken else case_count(model_path)
    if page["cases"] != expected_cases:
        problems.append(f"{page['cases']} cases in the report, {expected_cases} in the model")
    expected_envelopes = 0 if broken else envelope_count(model_path)
    if page["envelopes"] != expected_envelopes:
        problems.append(f"{page['envelopes']} envelope sections, {expected_envelopes} limit states in the model")
    if page["printed_pages"] < 1 + page["sections"] + page["envelopes"]:
        problems.append(f"printed on {page['printed_pages']} A4 pages, fewer than the model and its cases")
    if page["modes"] != 1:
        problems.append(f"{page['modes']} natural mode sections, expected 1")
    if broken and not page["error"]:
        problems.append("a model that cannot be analysed but no error on the page")
    if not broken and page["error"]:
        problems.append(f"analysis error on the page: {page['error']}")
    size = os.path.getsize(html_path)
    print(f"{name}: {page['members']} members, {page['sections']} cases, {size / 1024:.0f} kB, "
          f"{page['printed_pages']} A4 pages, "
          f"written in {took:.2f} s{'; error shown: ' + page['error'][:90] if page['error'] else ''}")
    return problems


def self_test(browser, out_dir):
    """A faulty page must fail: a console error, a missing image, a blank page."""
    path = os.path.join(out_dir, "faulty.html")
    with open(path, "w", encoding="utf-8") as f:
        f.write("<!DOCTYPE html><html><body data-members=\"1\" data-cases=\"1\">"
                "<img src=\"missing.png\"><script>console.error('broken')</script></body></html>")
    page, errors = render(browser, path, os.path.join(out_dir, "faulty.png"))
    problems = page["problems"] + errors + picture_problems(os.path.join(out_dir, "faulty.png"))
    wanted = ["console: broken", "structure views", "case sections", "scripts", "nearly blank", "refers to"]
    missing = [w for w in wanted if not any(w in p for p in problems)]
    if missing:
        print(f"self-test: the checks missed {missing} in {problems}")
        return False
    print(f"self-test: a faulty page fails with {len(problems)} problems, as it should")
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--velk", required=True)
    parser.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    parser.add_argument("--out", required=True)
    parser.add_argument("--broken", action="append", default=[])
    parser.add_argument("--self-test", action="store_true")
    parser.add_argument("models", nargs="+")
    arguments = parser.parse_args()
    os.makedirs(arguments.out, exist_ok=True)
    failed = False
    with tempfile.TemporaryDirectory(prefix="velk-chromium-") as profile:
        browser = Browser(arguments.chromium, profile)
        try:
            if arguments.self_test and not self_test(browser, arguments.out):
                failed = True
            for model, broken in [(m, False) for m in arguments.models] + [(m, True) for m in arguments.broken]:
                problems = check_report(browser, arguments.velk, model, arguments.out, broken)
                for problem in problems:
                    print(f"  FAIL {model}: {problem}")
                failed = failed or bool(problems)
        finally:
            browser.close()
    print("browser checks: " + ("FAILED" if failed else "passed"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
