"""Every message the engine can return is listed in docs/model-format.md.

Collects the message texts from the sources (errors returned as values,
internal faults, the JSON reader's and tokenizer's messages, the module's
exceptions) and fails, naming them, when one of them is missing from the
document. Placeholders are compared as `{}` whatever their name.
"""

import glob
import os
import re
import sys

LITERAL = r'"((?:[^"\\]|\\.)*)"'
# Where messages are made: returned errors, faults, reader failures, the
# sentences of the solve failures (returned or named constants), the
# tokenizer's and the refinement's messages, and the module's exceptions.
PATTERNS = [
    r"(?:unexpected|Fault)\(\s*(?:std::string\(\s*)?(?:format_message\(\s*)?" + LITERAL,
    r"fail\(\s*\*?\w+(?:->\w+)?,\s*(?:format_message\(\s*)?" + LITERAL,
    r"return\s+(?:at_end \? )?" + LITERAL,
    r":\s+" + LITERAL + r";",
    r"SyntaxError\{" + LITERAL,
    r"constexpr const char\* \w*message\w* =\s*" + LITERAL,
    r"PyErr_(?:Format|SetString)\(\s*PyExc_\w+,\s*" + LITERAL,
]
# Texts matched above that are not messages: spellings in log lines, and the
# descriptions of a found value inside "invalid type: {}, expected {}".
NOT_MESSAGES = {"Linear", "Nonlinear", "LinearMpc", "RigidMember", "ExactRetained", "ExactOneHot", "null", "UNKNOWN",
                "boolean `true`", "boolean `false`", "end of container", "floating point `inf`"}


def normalise(text):
    text = text.replace('\\"', '"').replace("\\\\", "\\")
    return re.sub(r"\{[^{}]*\}|%[sUzd]+|%zd", "{}", text)


def messages(source):
    found = {}
    for path in sorted(glob.glob(os.path.join(source, "src", "**", "*.[ch]pp"), recursive=True)):
        # The report's sources hold the words of its page, not messages.
        if "model_schema" in path or path.endswith("record_schema.hpp") or os.sep + "report" + os.sep in path:
            continue
        text = open(path, encoding="utf-8").read()
        for pattern in PATTERNS:
            for match in re.finditer(pattern, text):
                message = match.group(1)
                if len(message) < 5 or message in NOT_MESSAGES or message.startswith(("{", "\\", "  ")):
                    continue
                found.setdefault(normalise(message), os.path.relpath(path, source))
    return found


def main(source):
    document = normalise(open(os.path.join(source, "docs", "model-format.md"), encoding="utf-8").read())
    found = messages(source)
    missing = {message: path for message, path in found.items() if message not in document}
    print(f"{len(found)} messages found in the sources, {len(found) - len(missing)} listed in docs/model-format.md")
    for message, path in sorted(missing.items()):
        print(f"FAIL: not in docs/model-format.md: {message!r} ({path})")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
