#!/usr/bin/env python3
"""mutate.py - mutation testing of the product modules.

Single-point faults are put into the product sources one at a time, in a copy of the tree in a
work folder (never in the working tree); each mutant is built incrementally there and the test
binaries that link the mutated file are run under a private Xvfb until one fails. The result is
a Markdown report: killed, survived, did not build and timed out per module, and every survivor
with its file:line and change.

Operators: a numeric literal nudged (+1 in its last digit, and x1.1); a comparison changed
(< and <=, > and >=, == and !=); an arithmetic operator swapped (+ and -, * and /, their compound
assignments too); a condition negated (if, while, for); a call statement deleted; two adjacent
arguments of the same kind swapped; a GL or Win32 constant replaced by the next of its family; a
row of a constant table rotated by one place ({0, 1, 2, 3} -> {1, 2, 3, 0}); two adjacent rows of
a table swapped; an `else` dropped (its block or statement removed, or `else if` made a plain `if`).

Everything is built under the address, undefined-behaviour and leak sanitizers (as the suite's
sanitizer run builds the unit and platform tests), so a read past an allocation or a buffer never
freed counts; --no-sanitize builds with the array-bounds check only.

The platform's X tests run twice per mutant: on a bare Xvfb, and on a second one under openbox
(the window manager of the end-to-end checks), so the waits for a manager and its paths count.

Mutants are listed in a fixed order (module, file, position, operator), and numbered within their
module from 1: the id kvr_window:17 names the same change of the same source as long as the
sources are the same. An edit of a source shifts the ids after it, so survivors of an earlier run
(--ids with its .json) and the equivalent mutants of tests/MUTATION.md are found again by their
change text (file, change and the source line it is on), not by id alone.

Python 3, standard library only.
"""

import argparse
import concurrent.futures
import decimal
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

MODULES = ["kvr_window", "Kelvor", "shapes", "bitmap_font", "platform"]
# Generated or data-only sources, never mutated.
EXCLUDED = {"Kelvor/images_data.cpp", "bitmap_font/bitmap_font_glyphs.inc"}

# The test binaries run for a mutant of each module, cheapest first: a mutant stops at the first
# binary that fails. Each entry: (binary path in the build tree, needs the X server).
UNIT = [
    ("tests/window/window_tests", False),
    ("tests/unit/unit_tests", False),
    ("tests/fuzz/startup_failure_tests", False),
]
RENDER = [("tests/render/render_tests", True), ("tests/render/window_render_tests", True)]
# Each entry: (binary, where it runs): False without X, True on the bare Xvfb, "wm" on the Xvfb
# with openbox running.
PLATFORM = [("tests/platform/platform_unit_tests", False), ("tests/platform/platform_x11_tests", True),
            ("tests/platform/platform_x11_tests", "wm")]
TESTS = {
    "kvr_window": UNIT + RENDER,
    "Kelvor": UNIT[1:] + RENDER,
    "shapes": UNIT[1:2] + RENDER,
    "bitmap_font": UNIT[1:2] + RENDER,
    "platform": PLATFORM[:1] + RENDER[1:] + PLATFORM[1:],
}
# The program entry is linked only into the programs the platform tests start.
FILE_TESTS = {"Kelvor/main.cpp": PLATFORM[1:]}
# The window manager the platform tests also run under.
WINDOW_MANAGER = ["openbox", "--sm-disable"]
# The sanitizer build (the default; --no-sanitize builds with the array-bounds check only) and the
# options its test runs get: leaks are checked at exit, with the suppressions the soak run uses.
SANITIZE_FLAGS = "-O0 -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=all"
SANITIZE_ENV = {
    "ASAN_OPTIONS": "detect_leaks=1",
    "LSAN_OPTIONS": "suppressions=%s:print_suppressions=0" % os.path.join(ROOT, "tests", "soak", "lsan.supp"),
    "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
}

# ----------------------------------------------------------------------------------------------
# Lexing

TOKEN_RE = re.compile(
    r"""
    (?P<ws>\s+)
  | (?P<comment>//[^\n]*|/\*.*?\*/)
  | (?P<string>(?:u8|u|U|L)?R"(?P<delim>[^(\s]*)\(.*?\)(?P=delim)"|(?:u8|u|U|L)?"(?:\\.|[^"\\\n])*")
  | (?P<char>(?:u8|u|U|L)?'(?:\\.|[^'\\\n])*')
  | (?P<number>0[xX][0-9a-fA-F']+[uUlL]*|(?:\d[\d']*\.?[\d']*|\.\d[\d']*)(?:[eE][+-]?\d+)?[fFlLuU]*)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<op>::|->\*?|\.\.\.|<<=|>>=|<=|>=|==|!=|&&|\|\||\+\+|--|<<|>>|[-+*/%&|^]=|[-+*/%&|^!~<>=?:;,.(){}\[\]#])
    """,
    re.S | re.X,
)


class Tok:
    __slots__ = ("kind", "text", "start", "end", "line")

    def __init__(self, kind, text, start, end, line):
        self.kind, self.text, self.start, self.end, self.line = kind, text, start, end, line

    def __repr__(self):
        return "%s(%r)" % (self.kind, self.text)


def lex(src):
    """The tokens of a source, without white space, comments and preprocessor lines."""
    toks = []
    pos = 0
    line = 1
    at_line_start = True
    n = len(src)
    while pos < n:
        if at_line_start:
            m = re.match(r"[ \t]*#", src[pos:pos + 200])
            if m:
                # A preprocessor line, continued by backslashes: skipped whole.
                end = pos
                while True:
                    nl = src.find("\n", end)
                    if nl < 0:
                        end = n
                        break
                    if src[nl - 1] == "\\":
                        end = nl + 1
                        continue
                    end = nl
                    break
                line += src.count("\n", pos, end)
                pos = end
                continue
        m = TOKEN_RE.match(src, pos)
        if not m:
            raise ValueError("cannot lex at line %d: %r" % (line, src[pos:pos + 20]))
        kind = m.lastgroup
        if kind == "delim":
            kind = "string"
        text = m.group(0)
        if kind in ("ws", "comment"):
            if "\n" in text:
                at_line_start = True
        else:
            at_line_start = False
            toks.append(Tok(kind, text, pos, m.end(), line))
        line += text.count("\n")
        pos = m.end()
    return toks


# ----------------------------------------------------------------------------------------------
# Constant families

GL_FAMILIES = [
    "GL_LIGHTING GL_FOG GL_DEPTH_TEST GL_BLEND GL_TEXTURE_2D GL_AUTO_NORMAL GL_NORMALIZE GL_CULL_FACE "
    "GL_COLOR_MATERIAL GL_MAP2_VERTEX_3 GL_MAP2_TEXTURE_COORD_2 GL_MAP2_NORMAL",
    "GL_LIGHT0 GL_LIGHT1 GL_LIGHT2 GL_LIGHT3",
    "GL_AMBIENT GL_DIFFUSE GL_SPECULAR GL_POSITION GL_AMBIENT_AND_DIFFUSE GL_EMISSION",
    "GL_SHININESS GL_LINEAR_ATTENUATION GL_CONSTANT_ATTENUATION GL_QUADRATIC_ATTENUATION",
    "GL_FRONT GL_BACK GL_FRONT_AND_BACK",
    "GL_QUADS GL_LINE_LOOP GL_POLYGON GL_TRIANGLES GL_QUAD_STRIP GL_LINES",
    "GL_FILL GL_LINE GL_POINT",
    "GL_MODELVIEW GL_PROJECTION GL_TEXTURE",
    "GL_COLOR_BUFFER_BIT GL_DEPTH_BUFFER_BIT GL_STENCIL_BUFFER_BIT GL_ACCUM_BUFFER_BIT",
    "GL_LIGHTING_BIT GL_ENABLE_BIT GL_EVAL_BIT GL_LIST_BIT GL_CURRENT_BIT GL_TRANSFORM_BIT GL_TEXTURE_BIT",
    "GL_SRC_ALPHA GL_ONE_MINUS_SRC_ALPHA GL_DST_ALPHA GL_ONE_MINUS_DST_ALPHA GL_ONE GL_ZERO",
    "GL_TEXTURE_MAG_FILTER GL_TEXTURE_MIN_FILTER GL_TEXTURE_WRAP_S GL_TEXTURE_WRAP_T",
    "GL_LINEAR GL_NEAREST",
    "GL_REPEAT GL_CLAMP",
    "GL_EXP GL_EXP2",
    "GL_RGBA GL_RGB GL_LUMINANCE",
    "GL_UNSIGNED_BYTE GL_BYTE GL_UNSIGNED_SHORT",
    "GL_DECAL GL_MODULATE GL_REPLACE GL_BLEND_COLOR_",
    "GL_FOG_MODE GL_FOG_COLOR GL_FOG_DENSITY GL_FOG_START GL_FOG_END",
    "GL_UNPACK_ALIGNMENT GL_PACK_ALIGNMENT",
    "GL_COMPILE GL_COMPILE_AND_EXECUTE",
    "GL_LIGHT_MODEL_LOCAL_VIEWER GL_LIGHT_MODEL_TWO_SIDE",
    "GL_TEXTURE_ENV_MODE GL_TEXTURE_ENV_COLOR",
]


def load_families():
    """name -> (family list); GL families as listed, Win32 ones from the platform header."""
    fam = {}
    for line in GL_FAMILIES:
        members = [m for m in line.split() if not m.endswith("_")]
        for m in members:
            fam.setdefault(m, members)
    header = os.path.join(ROOT, "platform", "kvr_platform.h")
    groups = {}
    values = {}
    try:
        with open(header) as f:
            for line in f:
                m = re.match(r"#define\s+([A-Z][A-Z0-9]*_[A-Z0-9_]+)\s+(\S.*?)\s*(?://.*)?$", line)
                if not m:
                    continue
                name, value = m.group(1), m.group(2)
                parts = name.split("_")
                key = parts[0]
                if len(parts) > 2 and parts[1] in ("EX", "TYPE"):
                    key = parts[0] + "_" + parts[1]
                if key in ("KVR", "MAKE"):
                    continue
                groups.setdefault(key, []).append(name)
                values[name] = value
    except OSError:
        pass
    for key, members in groups.items():
        if len(members) < 2:
            continue
        for m in members:
            # Members of the same value would make an equivalent mutant: left out.
            same = [x for x in members if x == m or values[x] != values[m]]
            fam.setdefault(m, same)
    return fam


# ----------------------------------------------------------------------------------------------
# Mutant generation

TYPE_WORDS = {
    "void", "char", "short", "int", "long", "float", "double", "signed", "unsigned", "bool", "auto",
    "const", "static", "size_t", "int32_t", "uint32_t", "int16_t", "uint16_t", "uint8_t", "int64_t",
    "uint64_t", "intptr_t", "uintptr_t", "struct", "volatile", "constexpr", "extern", "inline",
}
TEMPLATE_WORDS = {"static_cast", "reinterpret_cast", "const_cast", "dynamic_cast", "integral_constant",
                  "template", "numeric_limits", "vector", "array", "is_same", "unique_ptr"}
NOT_CALLS = {"if", "while", "for", "switch", "return", "sizeof", "case", "do", "else", "catch", "alignof",
             "static_assert", "decltype", "new", "delete", "throw", "defined"}
NOT_OPERAND = {"return", "case", "else", "do", "throw", "new", "delete", "sizeof", "co_return"}


def load_type_names():
    names = set()
    for rel in ("platform/kvr_platform.h", "platform/core.h", "platform/core_input.h", "platform/x11_state.h",
                "platform/x11_input.h"):
        try:
            with open(os.path.join(ROOT, rel)) as f:
                text = f.read()
        except OSError:
            continue
        names.update(re.findall(r"\btypedef\b[^;]*?\b(\w+)\s*;", text))
        names.update(re.findall(r"\}\s*(\w+)\s*;", text))
        names.update(re.findall(r"KVR_DECLARE_HANDLE\((\w+)\)", text))
    return names


def is_type_ident(tok, type_names):
    t = tok.text
    if t in TYPE_WORDS or t in type_names:
        return True
    if t.startswith("GL") and len(t) > 2 and t[2].islower():
        return True
    # CamelCase names starting with a capital (X11 and our own types); ALL_CAPS are constants.
    return t[0].isupper() and not re.fullmatch(r"[A-Z0-9_]+", t)


def is_operand_end(tok):
    if tok is None:
        return False
    if tok.kind in ("number", "string", "char"):
        return True
    if tok.kind == "ident":
        return tok.text not in NOT_OPERAND and tok.text not in TYPE_WORDS
    return tok.text in (")", "]")


def number_kind(text):
    t = text.lower().replace("'", "")
    if t.startswith("0x"):
        return "i"
    if t.endswith("f"):
        return "f"
    if "." in t or "e" in t:
        return "d"
    return "i"


def nudge_last_digit(text):
    """The literal with one added to its last digit (carrying), or None."""
    m = re.fullmatch(r"(0[xX])([0-9a-fA-F]+)([uUlL]*)", text)
    if m:
        v = int(m.group(2), 16) + 1
        digits = "%0*X" % (len(m.group(2)), v)
        if m.group(2).islower():
            digits = digits.lower()
        return m.group(1) + digits + m.group(3)
    m = re.fullmatch(r"(\d*)(\.?)(\d*)([eE][+-]?\d+)?([fFlLuU]*)", text)
    if not m or "'" in text:
        return None
    whole, dot, frac, exp, suf = m.groups()
    if dot and frac:
        places = len(frac)
        v = decimal.Decimal(whole + "." + frac) + decimal.Decimal(1).scaleb(-places)
        body = "%.*f" % (places, v)
    elif dot:
        body = str(int(whole) + 1) + "."
    else:
        body = str(int(whole) + 1)
    return body + (exp or "") + suf


def scale_literal(text):
    """The literal times 1.1, or None when that changes nothing an integer can show."""
    m = re.fullmatch(r"(0[xX])([0-9a-fA-F]+)([uUlL]*)", text)
    if m:
        v = int(m.group(2), 16)
        w = int(round(v * 1.1))
        if w in (v, v + 1):
            return None
        return m.group(1) + ("%X" % w) + m.group(3)
    m = re.fullmatch(r"(\d*)(\.?)(\d*)([eE][+-]?\d+)?([fFlLuU]*)", text)
    if not m or "'" in text:
        return None
    whole, dot, frac, exp, suf = m.groups()
    if dot or exp or "f" in suf.lower():
        v = decimal.Decimal((whole or "0") + "." + (frac or "0"))
        if v == 0:
            return None
        w = (v * decimal.Decimal("1.1")).normalize()
        body = format(w, "f")
        if "." not in body:
            body += ".0"
        return body + (exp or "") + suf
    v = int(whole)
    w = int(round(v * 1.1))
    if w in (v, v + 1):
        return None
    return str(w) + suf


def matching(toks, i, open_, close):
    depth = 0
    for j in range(i, len(toks)):
        if toks[j].text == open_:
            depth += 1
        elif toks[j].text == close:
            depth -= 1
            if depth == 0:
                return j
    return None


def split_args(toks, lo, hi):
    """Top-level arguments between the parentheses at lo and hi, as (first, last) token indexes."""
    args = []
    depth = 0
    start = lo + 1
    for j in range(lo + 1, hi):
        t = toks[j].text
        if t in "([{":
            depth += 1
        elif t in ")]}":
            depth -= 1
        elif t == "," and depth == 0:
            args.append((start, j - 1))
            start = j + 1
    if start <= hi - 1:
        args.append((start, hi - 1))
    return args


def arg_kind(toks, a, b):
    seq = toks[a:b + 1]
    if not seq:
        return None
    if seq[0].text in ("-", "+") and len(seq) == 2 and seq[1].kind == "number":
        return "n" + number_kind(seq[1].text)
    if len(seq) == 1:
        t = seq[0]
        if t.kind == "number":
            return "n" + number_kind(t.text)
        if t.kind == "ident":
            if re.fullmatch(r"[A-Z][A-Z0-9]*_[A-Z0-9_]+", t.text):
                return "c" + t.text.split("_")[0]
            if t.text in ("NULL", "nullptr", "TRUE", "FALSE", "true", "false"):
                return None
            return "v"
        return None
    if any(t.kind in ("string", "char") or t.text in ("&", "{", "\"") for t in seq):
        return None
    if all(t.kind == "ident" or t.text in (".", "->", "[", "]") or t.kind == "number" for t in seq):
        return "v"
    return "e"


def brace_kinds(toks):
    """For each token, the kind of the innermost enclosing brace: 'code', 'init', 'ns' or None."""
    stack = []
    kinds = []
    for i, t in enumerate(toks):
        kinds.append(stack[-1] if stack else None)
        if t.text == "{":
            prev = toks[i - 1] if i else None
            prev2 = toks[i - 2] if i > 1 else None
            if stack and stack[-1] == "init":
                kind = "init"
            elif prev is not None and (prev.text in (")", "else", "do", "try", ";", "{", "}", ":")
                                       or (prev.text == "const" and prev2 is not None and prev2.text == ")")):
                kind = "code"
                if prev.text in (";", "{", "}", ":") and not (stack and stack[-1] == "code"):
                    kind = "ns"
            elif prev is not None and prev.kind == "ident" and prev2 is not None and prev2.text == "namespace":
                kind = "ns"
            elif prev is not None and prev.text == "namespace":
                kind = "ns"
            elif prev is not None and prev.text == "=" or (prev is not None and prev.text in (",", "{", "(", "return")):
                kind = "init"
            elif prev is not None and prev.kind == "ident" and stack and stack[-1] != "code":
                kind = "ns"  # struct or class body
            else:
                kind = "init"
            stack.append(kind)
        elif t.text == "}":
            if stack:
                stack.pop()
    return kinds


def generate(rel, src, families, type_names):
    """Every mutant of one source, in position order: dicts of line, start, end, new, op, desc."""
    toks = lex(src)
    kinds = brace_kinds(toks)
    out = []

    seen = set()

    def add(i, start, end, new, op, desc):
        if (start, end, new) in seen:
            return
        seen.add((start, end, new))
        out.append({"file": rel, "line": toks[i].line, "start": start, "end": end, "new": new, "op": op,
                    "desc": desc, "pos": start, "order": len(out)})

    # Tokens that must not be touched: array bounds in declarations, template angle brackets.
    skip = set()
    for i, t in enumerate(toks):
        if t.text == "<" and i > 0 and toks[i - 1].text in TEMPLATE_WORDS:
            depth = 0
            for j in range(i, len(toks)):
                if toks[j].text == "<":
                    depth += 1
                elif toks[j].text == ">":
                    depth -= 1
                    if depth == 0:
                        skip.add(i)
                        skip.add(j)
                        break
                elif toks[j].text in (";", "{"):
                    break
        if t.kind == "ident" and i + 1 < len(toks) and toks[i + 1].text == "[" and i > 0:
            prev = toks[i - 1]
            if (prev.kind == "ident" and prev.text not in NOT_OPERAND) or prev.text in ("*", "&"):
                j = i + 1
                while j < len(toks) and toks[j].text == "[":
                    k = matching(toks, j, "[", "]")
                    if k is None:
                        break
                    skip.update(range(j, k + 1))
                    j = k + 1

    for i, t in enumerate(toks):
        prev = toks[i - 1] if i else None
        nxt = toks[i + 1] if i + 1 < len(toks) else None
        in_code = kinds[i] in ("code", "init")
        if i in skip:
            continue
        # Numeric literals.
        if t.kind == "number":
            for op, fn, label in (("literal+1", nudge_last_digit, "last digit +1"), ("literal*1.1", scale_literal, "x1.1")):
                new = fn(t.text)
                if new and new != t.text:
                    add(i, t.start, t.end, new, op, "`%s` -> `%s` (%s)" % (t.text, new, label))
            continue
        if not in_code:
            continue
        # Comparisons.
        swaps = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
        if t.kind == "op" and t.text in swaps and kinds[i] == "code":
            add(i, t.start, t.end, swaps[t.text], "comparison", "`%s` -> `%s`" % (t.text, swaps[t.text]))
            continue
        # Arithmetic.
        arith = {"+": "-", "-": "+", "*": "/", "/": "*", "+=": "-=", "-=": "+=", "*=": "/=", "/=": "*="}
        if t.kind == "op" and t.text in arith:
            if t.text in ("+", "-", "*", "/"):
                if not is_operand_end(prev):
                    continue
                if t.text == "*" and prev.kind == "ident" and is_type_ident(prev, type_names):
                    continue
                if t.text == "*" and nxt is not None and nxt.text in (")", ",", ">"):
                    continue
            add(i, t.start, t.end, arith[t.text], "arithmetic", "`%s` -> `%s`" % (t.text, arith[t.text]))
            continue
        if t.kind != "ident":
            continue
        # Conditions.
        if t.text in ("if", "while") and nxt is not None and nxt.text == "(" and kinds[i] == "code":
            close = matching(toks, i + 1, "(", ")")
            if close is not None and close > i + 2:
                a, b = toks[i + 2].start, toks[close - 1].end
                cond = src[a:b]
                add(i, a, b, "!(" + cond + ")", "negate", "`%s (%s)` -> `%s (!(%s))`" % (t.text, cond, t.text, cond))
            continue
        if t.text == "for" and nxt is not None and nxt.text == "(":
            close = matching(toks, i + 1, "(", ")")
            semis = [j for j in range(i + 2, close or i) if toks[j].text == ";"]
            if close is not None and len(semis) == 2 and semis[1] > semis[0] + 1:
                a, b = toks[semis[0] + 1].start, toks[semis[1] - 1].end
                cond = src[a:b]
                add(i, a, b, "!(" + cond + ")", "negate", "for condition `%s` -> `!(%s)`" % (cond, cond))
            continue
        # Constants of a family.
        if t.text in families and kinds[i] is not None:
            fam = families[t.text]
            if len(fam) > 1:
                new = fam[(fam.index(t.text) + 1) % len(fam)]
                add(i, t.start, t.end, new, "constant", "`%s` -> `%s`" % (t.text, new))
        # Calls: the statement deleted, adjacent arguments swapped.
        if nxt is not None and nxt.text == "(" and t.text not in NOT_CALLS and kinds[i] == "code":
            close = matching(toks, i + 1, "(", ")")
            if close is None:
                continue
            # Statement start: the qualified name begins right after a statement boundary.
            s = i
            while s >= 2 and toks[s - 1].text == "::" and toks[s - 2].kind == "ident":
                s -= 2
            before = toks[s - 1] if s else None
            header_end = False
            if before is not None and before.text == ")":
                # The closing parenthesis of an if, while or for header.
                depth = 0
                for j in range(s - 1, -1, -1):
                    if toks[j].text == ")":
                        depth += 1
                    elif toks[j].text == "(":
                        depth -= 1
                        if depth == 0:
                            header_end = j > 0 and toks[j - 1].text in ("if", "while", "for")
                            break
            at_start = before is not None and (before.text in (";", "{", "}", "else") or header_end or
                                               (before.text == ":" and s >= 3 and toks[s - 3].text == "case")
                                               or (before.text == ":" and toks[s - 2].text == "default"))
            if at_start and close + 1 < len(toks) and toks[close + 1].text == ";":
                a, b = toks[s].start, toks[close + 1].end
                text = src[a:b]
                add(i, a, b, ";", "delete-call", "deleted `%s`" % " ".join(text.split()))
            args = split_args(toks, i + 1, close)
            for k in range(len(args) - 1):
                (a1, b1), (a2, b2) = args[k], args[k + 1]
                k1, k2 = arg_kind(toks, a1, b1), arg_kind(toks, a2, b2)
                if k1 is None or k1 != k2:
                    continue
                x = src[toks[a1].start:toks[b1].end]
                y = src[toks[a2].start:toks[b2].end]
                if x == y:
                    continue
                start, end = toks[a1].start, toks[b2].end
                mid = src[toks[b1].end:toks[a2].start]
                add(i, start, end, y + mid + x, "swap-args",
                    "`%s(..%s, %s..)` -> `%s(..%s, %s..)`" % (t.text, x, y, t.text, y, x))
    table_mutants(toks, kinds, src, add)
    else_mutants(toks, kinds, src, add)
    out.sort(key=lambda m: (m["pos"], m["order"]))
    return out


def brace_elements(toks, lo, hi):
    """The top-level elements between the braces at lo and hi, as (first, last) token indexes."""
    return [(a, b) for a, b in split_args(toks, lo, hi) if a <= b]


def table_mutants(toks, kinds, src, add):
    """Constant tables (an initialiser whose elements are rows in braces): each row of values of one
    kind rotated by one place, and each two adjacent rows swapped, where that changes the text."""
    for i, t in enumerate(toks):
        if t.text != "{" or i + 1 >= len(toks) or kinds[i + 1] != "init":
            continue
        close = matching(toks, i, "{", "}")
        if close is None:
            continue
        rows = brace_elements(toks, i, close)
        if len(rows) < 2 or not all(toks[a].text == "{" and matching(toks, a, "{", "}") == b for a, b in rows):
            continue
        texts = [src[toks[a].start:toks[b].end] for a, b in rows]
        for k, (a, b) in enumerate(rows):
            cells = brace_elements(toks, a, b)
            values = [src[toks[x].start:toks[y].end] for x, y in cells]
            # Only rows of one kind of value (numbers, names or constants): a mixed row would not build.
            cell_kinds = {arg_kind(toks, x, y) for x, y in cells}
            same_kind = len(cell_kinds) == 1 and None not in cell_kinds and "e" not in cell_kinds
            if same_kind and len(values) >= 2 and len(set(values)) > 1:
                rotated = values[1:] + values[:1]
                new = "{" + ", ".join(rotated) + "}"
                add(a, toks[a].start, toks[b].end, new, "rotate-row",
                    "row `%s` -> `%s`" % (" ".join(texts[k].split()), new))
            if k + 1 < len(rows) and texts[k] != texts[k + 1]:
                a2, b2 = rows[k + 1]
                mid = src[toks[b].end:toks[a2].start]
                add(a, toks[a].start, toks[b2].end, texts[k + 1] + mid + texts[k], "swap-rows",
                    "rows `%s` and `%s` swapped" % (" ".join(texts[k].split()), " ".join(texts[k + 1].split())))


def else_mutants(toks, kinds, src, add):
    """Each `else` of code dropped: its block or statement removed, or `else if` made a plain `if`."""
    for i, t in enumerate(toks):
        if t.text != "else" or kinds[i] != "code" or i + 1 >= len(toks):
            continue
        nxt = toks[i + 1]
        if nxt.text == "if":
            add(i, t.start, nxt.start, "", "drop-else", "`else if` -> `if` (line %d)" % t.line)
            continue
        if nxt.text == "{":
            end = matching(toks, i + 1, "{", "}")
        else:
            end = None
            depth = 0
            for j in range(i + 1, len(toks)):
                if toks[j].text in "([{":
                    depth += 1
                elif toks[j].text in ")]}":
                    depth -= 1
                    if depth < 0:
                        break
                elif toks[j].text == ";" and depth == 0:
                    end = j
                    break
        if end is None:
            continue
        body = " ".join(src[nxt.start:toks[end].end].split())
        if len(body) > 60:
            body = body[:57] + "..."
        add(i, t.start, toks[end].end, "", "drop-else", "dropped `else %s`" % body)


def module_files(module):
    d = os.path.join(ROOT, module)
    files = []
    for name in sorted(os.listdir(d)):
        rel = module + "/" + name
        if rel in EXCLUDED or not re.search(r"\.(cpp|h|inc)$", name):
            continue
        files.append(rel)
    return files


def all_mutants(module, families, type_names):
    muts = []
    for rel in module_files(module):
        with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
            src = f.read()
        muts.extend(generate(rel, src, families, type_names))
    for n, m in enumerate(muts, 1):
        m["id"] = "%s:%d" % (module, n)
        m["module"] = module
    add_keys(muts)
    return muts


def source_line(rel, line, cache={}):
    """The stripped text of a line of a source of this tree."""
    if rel not in cache:
        try:
            with open(os.path.join(ROOT, rel), encoding="utf-8") as f:
                cache[rel] = f.read().split("\n")
        except OSError:
            cache[rel] = []
    lines = cache[rel]
    return " ".join(lines[line - 1].split()) if 0 < line <= len(lines) else ""


def add_keys(muts):
    """Gives each mutant a key that survives edits elsewhere: its file, its change and the text of
    its source line, with a count among mutants that share all three."""
    seen = {}
    for m in muts:
        m["text"] = source_line(m["file"], m["line"])
        base = (m["file"], m["desc"], m["text"])
        seen[base] = seen.get(base, 0) + 1
        m["key"] = "%s|%s|%s|%d" % (base + (seen[base],))


def key_of(record):
    """The key of a mutant recorded by an earlier run (see add_keys); None when it has none."""
    if "key" in record:
        return record["key"]
    return None


# ----------------------------------------------------------------------------------------------
# Work copies and running


def log(msg):
    sys.stderr.write(time.strftime("%H:%M:%S ") + msg + "\n")
    sys.stderr.flush()


def tracked_files(source):
    if not os.path.isdir(os.path.join(source, ".git")) and not os.path.isfile(os.path.join(source, ".git")):
        out = []
        for dirpath, dirnames, filenames in os.walk(source):
            dirnames[:] = [d for d in dirnames if d not in ("build", ".git")]
            out.extend(os.path.relpath(os.path.join(dirpath, f), source) for f in filenames)
        return sorted(out)
    out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=source,
                         check=True, stdout=subprocess.PIPE).stdout.decode()
    return [p for p in out.split("\0") if p and os.path.isfile(os.path.join(source, p))]


def sync_tree(source, dst):
    """Copies the sources of the tree at `source` into dst, writing only files whose content differs
    and removing the files the source no longer has."""
    files = tracked_files(source)
    keep = set(files)
    for dirpath, _, filenames in os.walk(dst):
        for name in filenames:
            path = os.path.join(dirpath, name)
            if os.path.relpath(path, dst) not in keep:
                os.remove(path)
    for rel in files:
        s = os.path.join(source, rel)
        d = os.path.join(dst, rel)
        with open(s, "rb") as f:
            data = f.read()
        try:
            with open(d, "rb") as f:
                if f.read() == data:
                    continue
        except OSError:
            pass
        os.makedirs(os.path.dirname(d), exist_ok=True)
        with open(d, "wb") as f:
            f.write(data)
        shutil.copymode(s, d)


def start_xvfb(lo, hi, workdir):
    for n in range(lo, hi + 1):
        if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
            continue
        logf = open(os.path.join(workdir, "xvfb.log"), "w")
        p = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                             stdout=logf, stderr=logf)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X%d" % n):
                time.sleep(0.3)
                if p.poll() is None:
                    return p, ":%d" % n
                break
            if p.poll() is not None:
                break
            time.sleep(0.1)
        if p.poll() is None:
            p.terminate()
            p.wait()
    raise RuntimeError("no free X display in %d..%d" % (lo, hi))


class Job:
    def __init__(self, index, args):
        self.index = index
        self.args = args
        self.dir = os.path.join(args.workdir, "job%d" % index)
        self.src = os.path.join(self.dir, "src")
        self.build = os.path.join(self.dir, "build")
        self.xvfb = None
        self.display = None
        self.wm_xvfb = None
        self.wm_display = None
        self.wm = None

    def setup(self, displays):
        os.makedirs(self.src, exist_ok=True)
        sync_tree(self.args.source, self.src)
        # Configured again every run: cheap when nothing changed, and it picks up changed options.
        log("job %d: configuring %s" % (self.index, self.build))
        # Unoptimised without debug information: the quickest rebuild and link per mutant. Built
        # under the address, undefined-behaviour and leak sanitizers, as the suite's sanitizer run
        # builds the unit and platform tests: an index pushed one past the end, a read of freed
        # memory or a buffer never freed fails the test instead of going unseen.
        flags = SANITIZE_FLAGS if self.args.sanitize else "-O0 -fsanitize=bounds -fno-sanitize-recover=bounds"
        subprocess.run(["cmake", "-S", self.src, "-B", self.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=None",
                        "-DCMAKE_CXX_FLAGS=" + flags, "-DCMAKE_C_FLAGS=" + flags, "-DKVR_WERROR=OFF"] +
                       (["-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld"] if shutil.which("ld.lld") else []),
                       check=True, stdout=subprocess.DEVNULL)
        self.xvfb, self.display = start_xvfb(displays[0], displays[1], self.dir)
        log("job %d: Xvfb on %s" % (self.index, self.display))
        if any(where == "wm" for m in self.args.module for rel in module_files(m)
               for _, where in self.tests_for(rel, m)):
            self.wm_xvfb, self.wm_display = start_xvfb(displays[0], displays[1], self.dir)
            self.start_wm()
            log("job %d: Xvfb with %s on %s" % (self.index, WINDOW_MANAGER[0], self.wm_display))

    def start_wm(self):
        """Starts the window manager on the second server and waits until it manages the screen."""
        logf = open(os.path.join(self.dir, "wm.log"), "a")
        self.wm = subprocess.Popen(WINDOW_MANAGER, env=dict(os.environ, DISPLAY=self.wm_display), stdout=logf,
                                   stderr=logf, start_new_session=True)
        for _ in range(100):
            p = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=dict(os.environ,
                               DISPLAY=self.wm_display), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            if b"window id" in p.stdout:
                return
            if self.wm.poll() is not None:
                break
            time.sleep(0.1)
        raise RuntimeError("%s did not start on %s (see %s)" % (WINDOW_MANAGER[0], self.wm_display,
                                                                  os.path.join(self.dir, "wm.log")))

    def close(self):
        for name in ("wm", "wm_xvfb", "xvfb"):
            p = getattr(self, name)
            if p is not None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                setattr(self, name, None)

    def ninja(self, targets):
        cmd = ["ninja", "-C", self.build, "-j", str(self.args.build_jobs)] + targets
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return p.returncode == 0, p.stdout.decode(errors="replace")

    def run_tests(self, tests, limit):
        """('killed', binary) at the first failing binary, ('timeout', binary), or ('survived', None)."""
        deadline = time.monotonic() + limit
        for rel, where in tests:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return "timeout", rel
            if where == "wm" and self.wm.poll() is not None:
                self.start_wm()
            env = dict(os.environ, DISPLAY=self.wm_display if where == "wm" else self.display,
                       KVR_REQUIRE_DISPLAY="1", **SANITIZE_ENV)
            # The output is kept, so that a kill names the test that failed (and a flaky one shows).
            out = open(os.path.join(self.dir, "test.log"), "wb")
            p = subprocess.Popen([os.path.join(self.build, rel), "--gtest_fail_fast", "--gtest_brief=1"],
                                 cwd=os.path.dirname(os.path.join(self.build, rel)), env=env,
                                 stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
            out.close()
            try:
                rc = p.wait(remaining)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
                return "timeout", rel + (" under " + WINDOW_MANAGER[0] if where == "wm" else "")
            if rc != 0:
                with open(os.path.join(self.dir, "test.log"), "rb") as log_file:
                    failed = re.findall(rb"\[  FAILED  \] (\S+)", log_file.read())
                test = " (" + failed[0].decode(errors="replace") + ")" if failed else ""
                return "killed", rel + (" under " + WINDOW_MANAGER[0] if where == "wm" else "") + test
        return "survived", None

    def tests_for(self, rel, module):
        return FILE_TESTS.get(rel, TESTS[module])

    def baseline(self, modules):
        targets = sorted({t for m in modules for rel in module_files(m) for t, _ in self.tests_for(rel, m)})
        ok, out = self.ninja(targets)
        if not ok:
            raise RuntimeError("the unmutated tree does not build:\n" + out[-3000:])
        times = {}
        for m in modules:
            tests = sorted({t for rel in module_files(m) for t in self.tests_for(rel, m)},
                           key=lambda t: (t[0], str(t[1])))
            start = time.monotonic()
            status, binary = self.run_tests(tests, 3600)
            if status != "survived":
                raise RuntimeError("the unmutated tree fails %s (%s): fix that first" % (binary, status))
            times[m] = time.monotonic() - start
        return times

    def run(self, mut, limit):
        path = os.path.join(self.src, mut["file"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        mutated = original[:mut["start"]] + mut["new"] + original[mut["end"]:]
        tests = self.tests_for(mut["file"], mut["module"])
        t0 = time.monotonic()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(mutated)
            # Each binary is built just before it runs: a mutant killed by the first links no other.
            deadline = time.monotonic() + limit
            for test in tests:
                ok, _ = self.ninja([test[0]])
                if not ok:
                    return "did not build", None, time.monotonic() - t0
                status, binary = self.run_tests([test], max(1.0, deadline - time.monotonic()))
                if status != "survived":
                    return status, binary, time.monotonic() - t0
            return "survived", None, time.monotonic() - t0
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)


def select(args, families, type_names):
    muts = []
    for module in args.module:
        muts.extend(all_mutants(module, families, type_names))
    if args.ids:
        wanted = set()
        keys = {}
        by_key = {m["key"]: m for m in muts}
        for given in args.ids:
            if os.path.isfile(given):
                with open(given) as f:
                    data = json.load(f)
                # Survivors are found again by their change, wherever the ids have moved to.
                for r in data["results"]:
                    if r["status"] not in ("survived", "timed out"):
                        continue
                    k = key_of(r)
                    if k is None:
                        raise SystemExit("%s has no change keys (an older run): give its ids by hand" % given)
                    keys[k] = r
            else:
                wanted.update(x for x in given.split(",") if x)
        for k, r in keys.items():
            m = by_key.get(k)
            if m is None:
                log("%s (%s:%d %s) is no longer among the mutants: its line changed" % (r["id"], r["file"],
                                                                                      r["line"], r["desc"]))
                continue
            if m["id"] != r["id"]:
                log("%s is now %s (%s)" % (r["id"], m["id"], m["desc"]))
            wanted.add(m["id"])
        muts = [m for m in muts if m["id"] in wanted]
    if args.sample:
        rng = random.Random(args.seed)
        picked = []
        for module in args.module:
            mm = [m for m in muts if m["module"] == module]
            if len(mm) > args.sample:
                mm = rng.sample(mm, args.sample)
            picked.extend(mm)
        order = {m["id"]: k for k, m in enumerate(muts)}
        muts = sorted(picked, key=lambda m: order[m["id"]])
    return muts


def load_equivalents(path):
    """id -> (file:line, change, reason), from the table of equivalent mutants in tests/MUTATION.md: the rows
    | id | file:line | change | reason | under its heading "## Equivalent mutants"."""
    eq = {}
    try:
        with open(path, encoding="utf-8") as f:
            section = False
            for line in f:
                if line.startswith("## "):
                    section = line.strip().lower().startswith("## equivalent mutants")
                if not section:
                    continue
                cells = [c.strip() for c in re.split(r"(?<!\\)\|", line.strip())[1:-1]]
                if len(cells) == 4 and re.fullmatch(r"[A-Za-z_]+:\d+", cells[0]):
                    eq[cells[0]] = (cells[1], cells[2].replace("\\|", "|"), cells[3])
    except OSError:
        pass
    return eq


def check_equivalents(equivalents, muts):
    """id -> reason for the listed equivalent mutants, found by their change: the mutant of that id
    when its change is the listed one, else the one mutant of the same module, file and change
    nearest to the listed line. Entries whose change is found nowhere are run again."""
    by_id = {m["id"]: m for m in muts}
    modules = {m["module"] for m in muts}
    kept = {}
    for mid, (where, change, reason) in equivalents.items():
        module = mid.partition(":")[0]
        if module not in modules:
            continue
        m = by_id.get(mid)
        if m is not None and m["desc"] == change and "%s:%d" % (m["file"], m["line"]) == where:
            kept[mid] = reason
            continue
        rel, _, line = where.rpartition(":")
        line = int(line) if line.isdigit() else 0
        same = [x for x in muts if x["module"] == module and x["file"] == rel and x["desc"] == change]
        near = min(same, key=lambda x: abs(x["line"] - line)) if same else None
        # The same change elsewhere in the file is taken only when it is the only one, or close by.
        if near is None or (len(same) > 1 and abs(near["line"] - line) > 40):
            log("%s (%s %s) is listed as equivalent but is no longer found: run again" % (mid, where, change))
            continue
        log("%s (%s %s) listed as equivalent is now %s at line %d" % (mid, where, change, near["id"], near["line"]))
        kept[near["id"]] = reason
    return kept


def report(args, results, totals, equivalents, elapsed, command):
    lines = ["# Mutation report", ""]
    lines.append("Command: `%s`" % command)
    lines.append("")
    sampled = " (a seeded sample: --sample %d --seed %d)" % (args.sample, args.seed) if args.sample else ""
    lines.append("Run on %s in %.0f min%s." % (time.strftime("%Y-%m-%d %H:%M"), elapsed / 60, sampled))
    lines.append("")
    lines.append("| Module | Mutants | Run | Killed | Survived | Equivalent | Did not build | Timed out | Score |")
    lines.append("|---|---|---|---|---|---|---|---|---|")
    for module in args.module:
        rs = [r for r in results if r["module"] == module]
        c = {k: 0 for k in ("killed", "survived", "did not build", "timed out", "equivalent")}
        for r in rs:
            c[r["status"]] += 1
        # Timed-out mutants were stopped by the tests: counted as found.
        found = c["killed"] + c["timed out"]
        denom = found + c["survived"]
        score = "%.1f %%" % (100.0 * found / denom) if denom else "-"
        lines.append("| %s | %d | %d | %d | %d | %d | %d | %d | %s |" % (
            module, totals[module], len(rs), c["killed"], c["survived"], c["equivalent"], c["did not build"],
            c["timed out"], score))
    lines.append("")
    lines.append("Score: (killed + timed out) / (killed + timed out + survived); equivalent mutants (listed in "
                 "tests/MUTATION.md) and mutants that do not build are left out.")
    lines.append("")
    survivors = [r for r in results if r["status"] == "survived"]
    lines.append("## Survivors (%d)" % len(survivors))
    lines.append("")
    if survivors:
        lines.append("| Id | Where | Operator | Change |")
        lines.append("|---|---|---|---|")
        for r in survivors:
            lines.append("| %s | %s:%d | %s | %s |" % (r["id"], r["file"], r["line"], r["op"],
                                                      r["desc"].replace("|", "\\|")))
    eqs = [r for r in results if r["status"] == "equivalent"]
    if eqs:
        lines.append("")
        lines.append("## Equivalent mutants in this run (%d)" % len(eqs))
        lines.append("")
        lines.append("| Id | Where | Change | Why |")
        lines.append("|---|---|---|---|")
        for r in eqs:
            lines.append("| %s | %s:%d | %s | %s |" % (r["id"], r["file"], r["line"], r["desc"].replace("|", "\\|"),
                                                      equivalents.get(r["id"], "")))
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--module", action="append", choices=MODULES,
                    help="module to mutate (repeatable; default: all five)")
    ap.add_argument("--sample", type=int, default=0, help="run only N mutants per module, picked with --seed")
    ap.add_argument("--seed", type=int, default=1, help="seed of the sample (default 1)")
    ap.add_argument("--ids", action="append", help="only these ids (comma-separated), or the survivors and "
                    "timed-out mutants of an earlier results .json")
    ap.add_argument("--shuffle", action="store_true", help="run the selected mutants in a random order "
                    "(seeded by --seed), so that a run stopped early is a random part of them")
    ap.add_argument("--jobs", type=int, default=1, help="mutants built and tested at once, each in its own copy")
    ap.add_argument("--build-jobs", type=int, default=2, help="ninja -j for each job (default 2)")
    ap.add_argument("--timeout", type=float, default=0,
                    help="seconds of testing per mutant (default: 3 x the unmutated run + 30)")
    ap.add_argument("--source", default=ROOT, help="tree whose sources and tests are mutated (default: this "
                    "working tree, uncommitted changes included; e.g. an exported older commit for a before score)")
    ap.add_argument("--workdir", default=os.path.join(ROOT, "build", "mutate"), help="work folder")
    ap.add_argument("--displays", default="160-199", help="X display numbers for the private Xvfb servers")
    ap.add_argument("--report", default=None, help="Markdown report path (default: <workdir>/report.md)")
    ap.add_argument("--list", action="store_true", help="list the selected mutants and stop")
    ap.add_argument("--no-sanitize", dest="sanitize", action="store_false",
                    help="build with the array-bounds check only, not under the address, undefined-behaviour "
                         "and leak sanitizers (quicker; misses leaks and reads past an allocation)")
    ap.add_argument("--equivalents", default=os.path.join(ROOT, "tests", "MUTATION.md"),
                    help="file whose table lists the equivalent mutants by id")
    args = ap.parse_args()
    args.module = args.module or list(MODULES)
    args.workdir = os.path.abspath(args.workdir)
    args.source = os.path.abspath(args.source)
    lo, _, hi = args.displays.partition("-")
    displays = (int(lo), int(hi or lo))

    families = load_families()
    type_names = load_type_names()
    totals = {m: len(all_mutants(m, families, type_names)) for m in args.module}
    muts = select(args, families, type_names)
    equivalents = check_equivalents(load_equivalents(args.equivalents),
                                    [m for mod in args.module for m in all_mutants(mod, families, type_names)])
    if args.list:
        for m in muts:
            print("%-16s %s:%d  %-12s %s%s" % (m["id"], m["file"], m["line"], m["op"], m["desc"],
                                             "  [equivalent]" if m["id"] in equivalents else ""))
        print("%d mutants (%s)" % (len(muts), ", ".join("%s %d" % kv for kv in totals.items())))
        return 0

    os.makedirs(args.workdir, exist_ok=True)
    command = "tools/mutate.py " + " ".join(sys.argv[1:])
    jobs = [Job(i, args) for i in range(max(1, args.jobs))]
    t_start = time.monotonic()
    results = []
    lock = threading.Lock()
    try:
        for j in jobs:
            j.setup(displays)
        log("building and testing the unmutated tree")
        times = {}
        for j in jobs:
            times = j.baseline(args.module)
        limits = {m: args.timeout or 3 * t + 30 for m, t in times.items()}
        log("unmutated test times: %s" % ", ".join("%s %.0f s" % kv for kv in times.items()))
        todo = [m for m in muts if m["id"] not in equivalents]
        for m in muts:
            if m["id"] in equivalents:
                results.append(dict(m, status="equivalent", binary=None, seconds=0))
        # Each job takes whole files in turn, so a file is restored and rebuilt as rarely as possible;
        # --shuffle runs them in a seeded random order instead, so that a run stopped early has tested
        # a random part of the selection rather than its first files.
        queue = list(todo)
        if args.shuffle:
            random.Random(args.seed).shuffle(queue)
        done = [0]

        def worker(job):
            while True:
                with lock:
                    if not queue or stop.is_set():
                        return
                    mut = queue.pop(0)
                status, binary, secs = job.run(mut, limits[mut["module"]])
                if status == "timeout":
                    status = "timed out"
                with lock:
                    results.append(dict(mut, status=status, binary=binary, seconds=round(secs, 1)))
                    done[0] += 1
                    log("[%d/%d] %s %s:%d %s: %s%s (%.0f s)" % (done[0], len(todo), mut["id"], mut["file"],
                                                                mut["line"], mut["op"], status,
                                                                " by " + os.path.basename(binary) if binary else "",
                                                                secs))
                    if done[0] % 10 == 0:
                        write_outputs(args, results, totals, equivalents, t_start, command, muts)

        # Interrupted (Ctrl-C or SIGTERM): the mutants under way finish and restore their files,
        # then the report of what ran is written.
        stop = threading.Event()
        signal.signal(signal.SIGTERM, lambda *_: stop.set())
        with concurrent.futures.ThreadPoolExecutor(len(jobs)) as ex:
            futures = [ex.submit(worker, j) for j in jobs]
            while not all(f.done() for f in futures):
                try:
                    time.sleep(0.5)
                except KeyboardInterrupt:
                    log("interrupted: finishing the mutants under way")
                    stop.set()
            for f in futures:
                f.result()
    finally:
        for j in jobs:
            j.close()
    write_outputs(args, results, totals, equivalents, t_start, command, muts)
    return 0


def write_outputs(args, results, totals, equivalents, t_start, command, muts):
    order = {m["id"]: k for k, m in enumerate(muts)}
    results = sorted(results, key=lambda r: order[r["id"]])
    path = args.report or os.path.join(args.workdir, "report.md")
    with open(path, "w", encoding="utf-8") as f:
        f.write(report(args, results, totals, equivalents, time.monotonic() - t_start, command))
    with open(os.path.splitext(path)[0] + ".json", "w", encoding="utf-8") as f:
        json.dump({"command": command, "results": results}, f, indent=1)


if __name__ == "__main__":
    sys.exit(main())
