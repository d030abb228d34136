#!/usr/bin/env python3
"""Fails on a function body longer than the limit, unless the allow-list names it.

A brace scan, not a parser: comments, strings and preprocessor lines are blanked, then a '{'
opens a function body where the text before it (since the last ';', '{' or '}') has a
parameter list and is neither a type nor an initializer. Lambdas and local classes count
toward the function that holds them.
"""
import os
import re
import subprocess
import sys

LIMIT = 100
FOLDERS = ("tag", "text", "legacy", "readindex", "platform", "core", "batch", "export", "app",
           "tools", "bench", "fuzz")
# Kept whole on purpose: numbered-step procedures read best in one piece, and widget layout
# code is a list of placements. Each entry is "path:function".
ALLOWED = {
    # Numbered steps (their error trap's line numbers), whole so the numbers read in order.
    "batch/ShellPropertyRun.cpp:ShellPropertyRun::Start",
    "batch/ExtractionRun.cpp:ExtractionRun::Start",
    "batch/FolderScan.cpp:FolderScan::QueueFolder",
    "batch/AddFolder.cpp:Walker::Run",
    "export/TextExport.cpp:SaveListviewProperlySpaced",
    # The catalogue of columns, written as data.
    "batch/ColumnCatalogue.cpp:MakeColumns",
    # Widget layout.
    "app/ui/MainWindow.cpp:MainWindow::BuildLayout",
    "app/ui/LibraryReportDialog.cpp:LibraryReportDialog::LibraryReportDialog",
}


def blank(text):
    """Comments, string and character literals and preprocessor lines become spaces; line breaks stay."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#" or (line_start and c in " \t" and text[i:].lstrip(" \t")[:1] == "#"):
            # A preprocessor line, with its continuations.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append(" \n")
                    i += 2
                    continue
                out.append(" ")
                i += 1
            continue
        line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                out.append(" ")
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^(\s]*)\(', text[i:i + 40])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i + raw.end())
            end = n if end < 0 else end + len(raw.group(1)) + 2
            out.append('"' + re.sub(r"[^\n]", " ", text[i + 1:end - 1]) + '"')
            i = end
            continue
        if c in "\"'":
            word = re.search(r"[A-Za-z0-9_.]*$", text[max(0, i - 40):i]).group(0)
            if c == "'" and word[:1].isdigit():  # a digit separator: 1'000, not u'x'
                out.append(" ")
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + c)
            i = j + 1
            continue
        out.append(c)
        if c == "\n":
            line_start = True
        i += 1
    return "".join(out)


def strip_template(header):
    header = header.strip()
    while header.startswith("template"):
        k = header.find("<")
        if k < 0:
            break
        depth = 0
        for j in range(k, len(header)):
            if header[j] == "<":
                depth += 1
            elif header[j] == ">":
                depth -= 1
                if depth == 0:
                    header = header[j + 1:].strip()
                    break
        else:
            break
    return header


def function_name(header):
    """The qualified name before the parameter list: the last name followed by '(' at the top level."""
    depth = 0
    for m in re.finditer(r"[()]|(operator\s*\S+?|~?[A-Za-z_][A-Za-z0-9_:~]*)\s*(?=\()", header):
        if m.group(0) == "(":
            depth += 1
            continue
        if m.group(0) == ")":
            depth -= 1
            continue
        if depth == 0 and m.group(1):
            return m.group(1)
    return header.split("(")[0].split()[-1] if "(" in header else "?"


def functions(text):
    """(name, first line, last line) of every function body in the text."""
    code = blank(text)
    found = []
    stack = []  # "scope" (namespace, class), "other" (data, enums), or ("function", name, line)
    header_start = 0
    line = 1
    last = None  # the function that closed last, while nothing else followed it
    for i, c in enumerate(code):
        if c == "\n":
            line += 1
        elif c == "{":
            inside = any(s == "other" or isinstance(s, tuple) and s[0] == "function" for s in stack)
            header = strip_template(code[header_start:i])
            if inside:
                stack.append("other")
            elif last and (not header or header.startswith(",")):
                # A brace initializer in a constructor's list ended just before: the body that
                # follows belongs to the same constructor.
                found.remove(last)
                stack.append(("function", last[0], last[1]))
            elif re.match(r"(namespace\b|extern\s*\"|(typedef\s+)?(class|struct|union)\b)", header) \
                    or not header:
                named = re.match(r"(?:class|struct|union)\s+(?:\[\[[^]]*\]\]\s*)?(\w+)", header)
                stack.append(("scope", named.group(1)) if named else "scope")
            elif "(" in header and ")" in header and not re.match(r"enum\b", header) \
                    and "=" not in header.split("(")[0]:
                # A member defined in its class is named as it would be outside it.
                classes = [s[1] for s in stack if isinstance(s, tuple) and s[0] == "scope"]
                name = "::".join(classes + [function_name(header)])
                stack.append(("function", name, line))
            else:
                stack.append("other")
            header_start = i + 1
        elif c == "}":
            top = stack.pop() if stack else "scope"
            last = None
            if isinstance(top, tuple) and top[0] == "function":
                last = (top[1], top[2], line)
                found.append(last)
            header_start = i + 1
        elif c == ";":
            last = None
            header_start = i + 1
    return found


# What the scan must see in code that trips a naive one; `--self-test` checks it.
SELF_TEST = (r'''
namespace A {
struct S { int F() { return '}'; } S() : a_{1}, b_(2) {
  x("{");
}
S(int) : a_{1} {
  if (x) { y(); }
}
int a_; int b_; };
const char* k = R"x( } { )x";
int G(int x) {
  auto l = [&](int y) { return y + '{'; };  // }
  char c = u'"';
  int n = 1'000;
  /* { */ return l(x) + n;
}
template <class T> T H(T t) { if (t) { return t; } return T{}; }
enum class E : int { a, b };
const std::vector<int> kTable = {1, 2, {3}};
#define M(x) { x }
}
''', [("S::F", 3, 3), ("S::S", 3, 5), ("S::S", 6, 8), ("G", 11, 16), ("H", 17, 17)])


def main():
    if sys.argv[1:] == ["--self-test"]:
        found = functions(SELF_TEST[0])
        if found != SELF_TEST[1]:
            print(f"the scan found {found}, not {SELF_TEST[1]}", file=sys.stderr)
            return 1
        print("Function size scan: the tricky cases are read right")
        return 0
    os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    files = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard", "--"]
                           + [f + "/*.cpp" for f in FOLDERS] + [f + "/*.h" for f in FOLDERS],
                           check=True, capture_output=True, text=True).stdout.split()
    status = 0
    checked = 0
    seen = set()
    for path in sorted(files):
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for name, first, last in functions(text):
            checked += 1
            seen.add(f"{path}:{name}")
            lines = last - first + 1
            if lines <= LIMIT:
                continue
            if f"{path}:{name}" in ALLOWED:
                continue
            print(f"{path}:{first}: {name} is {lines} lines, over {LIMIT}", file=sys.stderr)
            status = 1
    for gone in sorted(ALLOWED - seen):
        print(f"{gone}: allowed over {LIMIT} lines but no longer found; take it off the list",
              file=sys.stderr)
        status = 1
    if status == 0:
        print(f"Function size: {checked} functions, none over {LIMIT} lines")
    return status


if __name__ == "__main__":
    sys.exit(main())
