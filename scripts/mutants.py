#!/usr/bin/env python3
"""Mutants of the system's C++ for scripts/mutants.

  mutants.py list ROOT PLAN [--seed N] [--count N] [--only REGEX]
      finds every candidate site, picks the mutants, writes them to PLAN (JSON)
      and prints one tab-separated line per mutant:
      id, file, line, operator, original, mutated, equivalence reason or "".
  mutants.py apply PLAN ID FROM TO
      writes the file of mutant ID, taken from tree FROM, mutated into tree TO.

A mutant is keyed by its file, the text of its line (and which copy of that
text in the file), its operator and its occurrence in the line, never by the
line number, so the same code and seed always give the same mutants, and a
mutant keeps its id when other lines move.
"""
import hashlib
import json
import os
import re
import sys

SOURCE_DIRS = ("control", "script", "settings", "console", "platform")
SKIPPED_DIRS = ("platform/win32",)
EQUIVALENT_LIST = "scripts/mutants.equivalent"

FLIP = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
SHIFT = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
COMPARISON = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
CONDITION = re.compile(r"\b(if|while) \(")
DECLARATION = re.compile(r"^\s*(const\s+)?[\w:<>]+[\s*&]+\w+\s*=[^=]")
ERROR_RESULT = re.compile(r"\breturn Error::k(\w+);")
BOOL_RESULT = re.compile(r"\breturn (true|false);")
SIZE_CALL = re.compile(r"(\.|->)size\(\)")
PLUS_MINUS_ONE = re.compile(r" [+-] 1(?![\w.'])")
GUARD = re.compile(r"^\s*if \(.*\) return\b[^;]*;\s*$")


def source_files(root):
    """The system's own C++ files that the native build compiles, sorted."""
    found = []
    for top in SOURCE_DIRS:
        for path, dirs, files in os.walk(os.path.join(root, top)):
            rel = os.path.relpath(path, root)
            dirs[:] = [d for d in dirs if os.path.join(rel, d) not in SKIPPED_DIRS]
            for name in files:
                if name.endswith((".cc", ".h")) and not name.endswith("_test.cc"):
                    found.append(os.path.join(rel, name))
    return sorted(found)


def is_digit_separator(text, i):
    """Whether the quote at i separates digits (1'024) rather than opening a literal."""
    j = i
    while j > 0 and (text[j - 1].isalnum() or text[j - 1] in "'_."):
        j -= 1
    return j < i and text[j].isdigit()


def literal_end(text, i):
    """The index just past the string or character literal that starts at i."""
    quote, j = text[i], i + 1
    while j < len(text) and text[j] != quote and text[j] != "\n":
        j += 2 if text[j] == "\\" else 1
    return j + 1


def code_mask(text):
    """The text with comments and literals blanked out, same length and lines."""
    out, i, n = list(text), 0, len(text)
    while i < n:
        start = i
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif text.startswith("/*", i):
            i = text.find("*/", i + 2)
            i = n if i < 0 else i + 2
        elif text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            delim = text[i + 2 : text.find("(", i)]
            i = text.find(")" + delim + '"', i)
            i = n if i < 0 else i + len(delim) + 2
        elif text[i] == '"' or (text[i] == "'" and not is_digit_separator(text, i)):
            i = literal_end(text, i)
        else:
            i += 1
            continue
        for k in range(start, min(i, n)):
            if out[k] != "\n":
                out[k] = " "
    return "".join(out)


def skipped_lines(masked_lines):
    """Indexes of preprocessor lines (with their continuations) and static_assert lines."""
    skipped, continued = set(), False
    for i, line in enumerate(masked_lines):
        if continued or line.lstrip().startswith("#") or "static_assert" in line:
            skipped.add(i)
        continued = i in skipped and line.rstrip().endswith("\\")
    return skipped


def closing_paren(line, open_at):
    """The index of the parenthesis that closes the one at open_at, or -1."""
    depth = 0
    for i in range(open_at, len(line)):
        depth += {"(": 1, ")": -1}.get(line[i], 0)
        if depth == 0:
            return i
    return -1


def comparison_sites(m):
    for occ, hit in enumerate(COMPARISON.finditer(m)):
        a, b, op = hit.start(), hit.end(), hit.group()
        yield "cmp_flip", occ, a, b, FLIP[op]
        if op in SHIFT:
            yield "cmp_shift", occ, a, b, SHIFT[op]


def is_one_comparison(cond):
    return len(COMPARISON.findall(cond)) == 1 and not re.search(r"&&|\|\||\?", cond)


def negation_sites(m, s):
    for occ, hit in enumerate(CONDITION.finditer(m)):
        open_at = hit.end() - 1
        close = closing_paren(m, open_at)
        cond = s[open_at + 1 : close]
        if close < 0 or ";" in m[open_at:close] or DECLARATION.match(cond):
            continue
        if is_one_comparison(m[open_at + 1 : close]):
            continue  # the same fault as flipping that comparison
        yield "negate", occ, open_at, close + 1, "(!(" + cond + "))"


def result_sites(m):
    for occ, hit in enumerate(ERROR_RESULT.finditer(m)):
        if hit.group(1) != "None":
            yield "err_none", occ, hit.start(1) - 1, hit.end(1), "kNone"
    for occ, hit in enumerate(BOOL_RESULT.finditer(m)):
        swapped = "false" if hit.group(1) == "true" else "true"
        yield "bool_swap", occ, hit.start(1), hit.end(1), swapped


def length_sites(m):
    for occ, hit in enumerate(SIZE_CALL.finditer(m)):
        yield "size_less", occ, hit.end(), hit.end(), " - 1"
    for occ, hit in enumerate(PLUS_MINUS_ONE.finditer(m)):
        yield "one_drop", occ, hit.start(), hit.end(), ""


def opening_line(masked, close_at):
    """The line that opens the block closed by the lone '}' at close_at."""
    indent = len(masked[close_at]) - len(masked[close_at].lstrip())
    for i in range(close_at - 1, -1, -1):
        line = masked[i]
        if line.strip() and len(line) - len(line.lstrip()) <= indent:
            return line.strip()
    return ""


def next_code_line(masked, i):
    i += 1
    while i < len(masked) and not masked[i].strip():
        i += 1
    return i


def dropped_line_sites(masked, i):
    """Guard lines to drop and error returns to skip; yields (op, lines to drop)."""
    m = masked[i].strip()
    if GUARD.match(m) and closing_paren(m, 3) == m.find(") return"):
        yield "guard_drop", 1
    nxt = next_code_line(masked, i)
    if nxt >= len(masked):
        return
    if m.startswith("if (") and closing_paren(m, 3) == len(m) - 1:
        if re.match(r"^return\b[^;]*;$", masked[nxt].strip()) and nxt == i + 1:
            yield "guard_drop", 2
    if m == "return nullptr;" and masked[nxt].strip() == "}":
        opener = opening_line(masked, nxt)
        if re.match(r"^(\} else )?if \(.*\{$", opener) or opener == "} else {":
            yield "null_skip", 1


def line_mutants(lines, masked, i):
    """(op, occurrence, start, end, replacement, lines dropped) for each site on line i."""
    m, s = masked[i], lines[i]
    sites = [*comparison_sites(m), *negation_sites(m, s), *result_sites(m), *length_sites(m)]
    for op, occ, a, b, repl in sites:
        yield op, occ, a, b, repl, 0
    for op, count in dropped_line_sites(masked, i):
        yield op, 0, 0, len(s), "", count


def shown_change(s, a, b, repl, dropped):
    """Original and mutated text of a change, with a word either side."""
    if dropped:
        return s.strip(), "(dropped)" if dropped == 1 else "(dropped with the next line)"
    left, right = a, b
    while left > 0 and s[left - 1] == " ":
        left -= 1
    while left > 0 and s[left - 1] != " ":
        left -= 1
    while right < len(s) and s[right] == " ":
        right += 1
    while right < len(s) and s[right] != " ":
        right += 1
    cut = lambda t: t if len(t) <= 60 else t[:57] + "..."
    return cut(s[left:right]), cut(s[left:a] + repl + s[b:right])


def file_candidates(root, rel):
    with open(os.path.join(root, rel), encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    masked = code_mask("\n".join(lines)).split("\n")
    skipped, copies = skipped_lines(masked), {}
    for i, s in enumerate(lines):
        text = s.strip()
        copy = copies.get(text, 0)
        copies[text] = copy + 1
        if i in skipped:
            continue
        for op, occ, a, b, repl, dropped in line_mutants(lines, masked, i):
            key = "\0".join([rel, text, str(copy), op, str(occ)])
            before, after = shown_change(s, a, b, repl, dropped)
            yield {
                "id": hashlib.sha1(key.encode("utf-8", "surrogateescape")).hexdigest()[:8],
                "file": rel, "line": i + 1, "op": op, "text": s, "start": a, "end": b,
                "repl": repl, "dropped": dropped, "before": before, "after": after,
            }


def equivalent_reasons(root):
    reasons = {}
    path = os.path.join(root, EQUIVALENT_LIST)
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                parts = line.split(None, 1)
                if parts and not parts[0].startswith("#"):
                    reasons[parts[0]] = parts[1].strip() if len(parts) > 1 else "equivalent"
    return reasons


def pick(candidates, seed, count):
    """The count candidates of lowest rank under the seed, in file and line order."""
    rank = lambda c: hashlib.sha1(f"{seed}:{c['id']}".encode()).hexdigest()
    chosen = sorted(candidates, key=rank)[:count]
    return sorted(chosen, key=lambda c: (c["file"], c["line"], c["op"], c["id"]))


def list_mutants(root, plan, seed, count, only):
    files = [f for f in source_files(root) if re.search(only, f)]
    candidates = [c for f in files for c in file_candidates(root, f)]
    chosen = pick(candidates, seed, count)
    reasons = equivalent_reasons(root)
    with open(plan, "w", encoding="utf-8", errors="surrogateescape") as f:
        json.dump(chosen, f)
    print(f"# {len(chosen)} of {len(candidates)} candidates in {len(files)} files", file=sys.stderr)
    for c in chosen:
        fields = [c["id"], c["file"], str(c["line"]), c["op"], c["before"], c["after"]]
        print("\t".join(fields + [reasons.get(c["id"], "")]).replace("\n", " "))


def apply_mutant(plan, wanted, src, dst):
    with open(plan, encoding="utf-8", errors="surrogateescape") as f:
        c = next(c for c in json.load(f) if c["id"] == wanted)
    with open(os.path.join(src, c["file"]), encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    i = c["line"] - 1
    if lines[i] != c["text"]:
        sys.exit(f"{c['file']}:{c['line']} changed since the mutants were chosen")
    if c["dropped"]:
        lines[i : i + c["dropped"]] = [""] * c["dropped"]
    else:
        lines[i] = c["text"][: c["start"]] + c["repl"] + c["text"][c["end"] :]
    with open(os.path.join(dst, c["file"]), "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write("\n".join(lines))


def main(argv):
    if len(argv) >= 3 and argv[0] == "list":
        opts = dict(zip(argv[3::2], argv[4::2]))
        list_mutants(argv[1], argv[2], opts.get("--seed", "1"), int(opts.get("--count", 300)),
                     opts.get("--only", ""))
    elif len(argv) == 5 and argv[0] == "apply":
        apply_mutant(*argv[1:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
