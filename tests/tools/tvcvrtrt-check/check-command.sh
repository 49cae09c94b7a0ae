#!/usr/bin/env bash
# The diagnostic command, run from inside runtime trees as a user runs it
# beside the library: the reference runtime binds (status 0); a tree without
# libvlt.dll names it and the system's reason (1); a tree whose libka.dll
# lacks two symbols and whose tvcbase.dll lacks one lists all three (1).
# Bad command lines give one error line and the usage (2); --json parses.
# Every case runs; the failed ones are listed at the end.
set -euo pipefail
reference=$1 gap_libraries=$2 scratch=$3 wine=$4 two_interfaces_tlb=$5 class_registration=$6
export LC_ALL=C
failures=() case_name=setup
# fail: a check of the current case did not hold; die: the cases after it
# cannot run.
fail() { echo "FAILED: $*"; failures+=("$case_name: $*"); }
die() { echo "FAILED: $*"; exit 1; }

# make_tree <name>: a copy of the reference runtime's bin/win64 with the command.
make_tree() {
  local lib_dir=$scratch/$1/bin/win64
  rm -rf "${scratch:?}/$1"
  mkdir -p "$lib_dir"
  cp "$reference"/{libka,libvlt,tvcvrt,tvcbase,libbx,tvcvrtrt7_17}.dll "$reference/tvcvrtrt-check.exe" "$lib_dir/"
  echo "$lib_dir"
}

# run_check <lib dir> <expected status> [arguments...]: stdout in $out, stderr in $err.
run_check() {
  local lib_dir=$1 expected=$2 status=0
  shift 2
  (cd "$lib_dir" && "$wine" ./tvcvrtrt-check.exe "$@" </dev/null >"$scratch/stdout" 2>"$scratch/stderr") || status=$?
  out=$(tr -d '\r' <"$scratch/stdout") err=$(tr -d '\r' <"$scratch/stderr")
  case_name="$(basename "$(dirname "$(dirname "$lib_dir")")") $*"
  echo "== $case_name: status $status"
  echo "$out"
  [ "$status" = "$expected" ] || fail "status $status, expected $expected"
  # A bad command line: one error line, then the usage, on standard error only.
  [ "$status" != 2 ] || { [ -z "$out" ] && [ "$(wc -l <<<"$err")" = 2 ] && grep -q '^tvcvrtrt-check: ' <<<"$err" &&
    grep -q '^usage: ' <<<"$err"; } || fail "expected only an error line and the usage on standard error, got: $err"
}
expect_line() { grep -qE "$1" <<<"$out" || fail "no line matching: $1"; }
# run_rows: one case a row on standard input, tab-separated: the variable
# naming the tree, the status, the environment ("-": none), the arguments,
# then patterns that standard output or error must match.
run_rows() {
  while IFS=$'\t' read -r -a row; do
    [ "${row[2]}" != - ] || row[2]=
    eval "${row[2]} run_check \"\$${row[0]}\" ${row[1]} ${row[3]}"
    for pattern in "${row[@]:4}"; do
      grep -qE -- "$pattern" <<<"$out"$'\n'"$err" || fail "no line matching: $pattern"
    done
  done
}
# check_json <<'PYTHON' [arguments]: checks written in Python against the
# last standard output, parsed as report.
check_json() {
  python3 -c 'import json, sys; report = json.load(open(sys.argv[1], encoding="ascii")); exec(sys.stdin.read())' \
    "$scratch/stdout" "$@" || fail "the JSON report does not hold what the checks above say"
}
# symbols <family> [<missing>]: "<found> of <all> symbols found", counted from the binding table.
symbols() {
  local all
  all=$(grep -c '^TVC_ENTRY(' "$(dirname "$0")/../../../forwarding/$1_family.inc")
  echo "$((all - ${2:-0})) of $all symbols found"
}

mkdir -p "$scratch"
complete=$(make_tree complete)
complete_dos=$(winepath -w "$complete")\\  # the runtime library directory as the library writes it
missing=$(make_tree missing-library) && rm "$missing/libvlt.dll"
gaps=$(make_tree symbol-gaps) && cp "$gap_libraries"/{libka,tvcbase}.dll "$gaps/"
run_rows <<ROWS
complete	0	-	--no-components	^  libka\\.dll +array +$(symbols array)\$	^  tvcbase\\.dll +base +$(symbols base)\$	^Every library loads and every symbol binds\\.\$
missing	1	-	--no-components	^  libvlt\\.dll +data_file +NOT LOADED: .+	^    Fatal error loading library .*\\\\\\\\bin\\\\\\\\win64\\\\\\\\libvlt\\.dll Error: .+	^  tvcbase\\.dll +base +$(symbols base)\$
complete	2	-	--bogus
complete	2	-	--component
complete	2	-	--json extra
gaps	1	-	--no-components	^  libka\\.dll +array +$(symbols array 2)\$	^    missing kaSetProperty_700: .+	^    missing kaGetCell_700: .+	^  tvcbase\\.dll +base +$(symbols base 1)\$	^    missing tvcIsBld: .+
ROWS
[ "$(grep -c '^    missing ' <<<"$out")" = 3 ] || fail "expected exactly three missing symbols"

run_check "$complete" 0 --help
for option in --help --version --json --component --load --no-components --trace-summary --run --trace-timeline \
  --trace-follow; do
  grep -qE "^usage: .*\[$option[] ]" <<<"$out" && grep -qE "^  $option( |$)" <<<"$out" \
    || fail "--help does not list and explain $option"
done

# JSON parses, also with quotes, backslashes and a tab in a reported value.
odd_value=$'C:\\no "such"\tdir'
VRTROOT=$odd_value run_check "$complete" 0 --json --load
check_json "$odd_value" <<'PYTHON'
assert report["binds"] is True, report["binds"]
assert [l["file"] for l in report["libraries"]] == ["libka.dll", "libvlt.dll", "tvcvrt.dll", "tvcbase.dll"]
vrtroot = report["environment"][0]
assert vrtroot["name"] == "VRTROOT" and vrtroot["value"] == sys.argv[2], vrtroot
assert vrtroot["effect"].startswith("set but not used"), vrtroot["effect"]
assert [c["category"] for c in report["components"]] == ["COM components", "Excel add-in components"]
PYTHON
run_check "$gaps" 1 --json --no-components
check_json <<'PYTHON'
missing = sorted(m["symbol"] for l in report["libraries"] for m in l["missing"])
assert missing == ["kaGetCell_700", "kaSetProperty_700", "tvcIsBld"], missing
assert report["binds"] is False
PYTHON
# A family library damaged in one place, a row per damage: the command says
# what is wrong with its import table and never follows an offset out of
# the file. Columns: the library damaged; where (a Python expression over
# the offsets below), or "cut" for a file cut short; the bytes written there
# (u16, u32: little-endian words), or the length cut to; the problem named
# for tvcvrt.dll, which needs libbx.dll. Where the system's loader crashes on
# the damage (Wine 8 on an import directory outside every section, Wine 10
# on others), the command reports that for tvcvrt.dll alone and goes on.
damage() {  # <library> <where> <bytes or length>: edits the library in place
  python3 - "$@" <<'PYTHON'
import struct, sys
path, where, what = sys.argv[1:]
data = bytearray(open(path, "rb").read())
u16, u32 = (lambda value: struct.pack("<H", value)), (lambda value: struct.pack("<I", value))
at = lambda offset, form="<I": struct.unpack_from(form, data, offset)[0]
nt = at(0x3C)
optional, sections = nt + 24, nt + 24 + at(nt + 20, "<H")
def file_offset(rva):
    for header in range(sections, sections + 40 * at(nt + 6, "<H"), 40):
        start, raw_size, raw = struct.unpack_from("<III", data, header + 12)
        if start <= rva < start + raw_size: return raw + rva - start
imports = file_offset(at(optional + 120))
name = file_offset(at(imports + 12))
if where == "cut":
    data = data[:eval(what)]
else:
    offset, text = eval(where), eval(what)
    data[offset:offset + len(text)] = text
open(path, "wb").write(data)
PYTHON
}
damaged=$(make_tree damaged-library)
while IFS=$'\t' read -r library where what problem; do
  cp "$reference"/{tvcvrt,libbx}.dll "$damaged/" && damage "$damaged/$library" "$where" "$what"
  run_check "$damaged" 1 --no-components
  case_name+=" ($library damaged at $where)"
  expect_line "^  tvcvrt\\.dll +runtime +NOT LOADED: "
  expect_line "^    tvcvrt\\.dll is present, but $problem\$"
  expect_line "^  tvcbase\\.dll +base +$(symbols base)\$"
  ! grep -q 'did not answer' <<<"$out" || fail "the loader was ended at its time limit"
done <<'ROWS'
tvcvrt.dll	optional + 120	u32(0x7FFFFFF0)	its import table is damaged
tvcvrt.dll	cut	32	it is not a library \(no executable file header\)
tvcvrt.dll	0x3C	u32(0x7FFFFFF0)	it is not a library \(no executable file header\)
tvcvrt.dll	0x3C	u32(0x80000000)	it is not a library \(no executable file header\)
tvcvrt.dll	nt + 4	u16(0x14C)	it is not a 64-bit x64 library
tvcvrt.dll	optional	u16(0x10B)	it is not a 64-bit x64 library
tvcvrt.dll	nt + 6	u16(0xFFFF)	its header is damaged
tvcvrt.dll	nt + 20	u16(0x78)	its header is damaged
tvcvrt.dll	cut	sections + 20	its import table is damaged
tvcvrt.dll	nt + 6	u16(0)	its import table is damaged
tvcvrt.dll	name	b"A" * 300	its import table is damaged
tvcvrt.dll	name	b"..\\x.dll\0"	its import table is damaged
tvcvrt.dll	imports	data[imports:imports + 20] * (len(data) // 20)	its import table is damaged
libbx.dll	nt + 4	u16(0x14C)	a library it needs cannot be used: libbx\.dll \(it is not a 64-bit x64 library\)
ROWS

# Call traces to summarize (rows below): per export, the most total time
# first; a line that is not a trace line is counted and makes the status 1;
# times that no sum can hold are refused, not wrapped into negative totals.
printf '%s\n' '7 kaGetM_proxy(0x10) = 2 0.5us' '7 tvcFevalInternal_proxy(0x1, 0x2, 1, 0x3, 1, 0x4) = true 3.0us' \
  '8 kaGetM_proxy(0x10) = 2 1.5us' >"$complete/calls.trace"
{ cat "$complete/calls.trace"; echo 'not a trace line'; } >"$complete/bad.trace"
printf '7 kaGetM_proxy(0x10) = 2 999999999999999us\n%.0s' {1..10} >"$complete/huge.trace"

# The demo's sample component, registered for the time of these cases.
unregister_demo() { (cd "$reference" && "$wine" ./sample_app.exe unregister </dev/null) || true; }
trap unregister_demo EXIT
(cd "$reference" && "$wine" ./sample_app.exe register </dev/null) || die "registering the demo component"
# ---- Causes named: one case a row, run against the trees above and two more,
# with hostile registrations under fresh GUIDs beside the demo's component:
# a class whose type library file is 4 bytes "MSFT" (Wine's reader
# crashes on it), one whose type library is the demo's, one whose type library
# is not registered.
no_bx=$(make_tree no-libbx) && rm "$no_bx/libbx.dll"
code_page=$(make_tree "code-page-Ω")
tag=$(python3 -c 'import uuid; print(uuid.uuid4().hex[:8])')
read -r crash_class good_class orphan_class local_class crash_lib good_lib orphan_lib < <(python3 -c '
import uuid; g = lambda first: "{%s%s}" % (first, str(uuid.uuid4()).upper()[1:])
print(g("0"), g("8"), g("F"), g("4"), g("0"), g("8"), g("F"))')
windows_path() { echo "Z:${1//\//\\}"; }
reg_text() { local text; text=$(windows_path "$1"); echo "${text//\\/\\\\}"; }
printf MSFT >"$scratch/hostile.tlb"
# The classes through the library's class layout (class_registration.cpp);
# the type libraries and interfaces as the system's type library
# registration writes them.
classes() {  # register|unregister <class> <ProgID piece> [<description> <server> <library>]
  "$wine" "$class_registration" "$@" </dev/null || die "class_registration $*"
}
type_library() {  # <library> <name> <file>
  printf '[HKEY_CLASSES_ROOT\\TypeLib\\%s\\1.0]\n@="%s"\n[HKEY_CLASSES_ROOT\\TypeLib\\%s\\1.0\\0\\win64]\n@="%s"\n' \
    "$1" "$2 library" "$1" "$3"
}
{ echo REGEDIT4
  type_library "$crash_lib" "TvcCheck$tag.Crash" "$(reg_text "$scratch/hostile.tlb")"
  type_library "$good_lib" "TvcCheck$tag.Good" "$(reg_text "$reference/tovan_demo.tlb")"
  type_library "{9B59CE14-EC8A-486E-B1D5-4C863DC21500}" TvcCheckMeter "$(reg_text "$two_interfaces_tlb")"
  for interface in "{EF58E627-B68D-41E5-8181-AC62CF7AA3C7} IReader" "{79981D50-6CCA-4557-8AAF-B2D0C825501D} IGauge" \
                   "{E157F0B8-A883-477C-960E-FE415CD809B9} DMeterEvents"; do
    printf '[HKEY_CLASSES_ROOT\\Interface\\%s]\n@="%s"\n' "${interface% *}" "${interface#* }"
    printf '[HKEY_CLASSES_ROOT\\Interface\\%s\\TypeLib]\n@="%s"\n"Version"="1.0"\n' "${interface% *}" \
      "{9B59CE14-EC8A-486E-B1D5-4C863DC21500}"
  done
} >"$scratch/hostile.reg"
printf 'REGEDIT4\n\n[-HKEY_CLASSES_ROOT\\%s]\n' "TypeLib\\$crash_lib" "TypeLib\\$good_lib" \
  "TypeLib\\{9B59CE14-EC8A-486E-B1D5-4C863DC21500}" "Interface\\{EF58E627-B68D-41E5-8181-AC62CF7AA3C7}" \
  "Interface\\{79981D50-6CCA-4557-8AAF-B2D0C825501D}" "Interface\\{E157F0B8-A883-477C-960E-FE415CD809B9}" \
  >"$scratch/unregister.reg"
registry() { "$wine" regedit /S "$(windows_path "$scratch/$1")" </dev/null; }
unregister_classes() {
  for class in "$crash_class TvcCheck$tag.Crash" "$good_class TvcCheck$tag.Good" "$orphan_class TvcCheck$tag.Orphan" \
               "$local_class TvcCheck$tag.Local" "{619BD19B-371D-48E7-A974-1DCEE181AE3A} TvcCheckMeter"; do
    "$wine" "$class_registration" unregister $class </dev/null || true
  done
}
trap 'unregister_classes; registry unregister.reg; unregister_demo' EXIT
registry hostile.reg
classes register "$crash_class" "TvcCheck$tag.Crash" 'Hostile \x1b]0;title\x07' 'C:\nowhere\crash.dll' "$crash_lib"
classes register "$good_class" "TvcCheck$tag.Good" Good tvcvrtrt7_17.dll "$good_lib"
classes register "$orphan_class" "TvcCheck$tag.Orphan" Orphan tvcvrtrt7_17.dll "$orphan_lib"
# The class of two_interfaces.idl.
classes register "{619BD19B-371D-48E7-A974-1DCEE181AE3A}" TvcCheckMeter Meter tvcvrtrt7_17.dll \
  "{9B59CE14-EC8A-486E-B1D5-4C863DC21500}"
# A C1 control and, as text, what an escape looks like.
classes register "$local_class" "TvcCheck$tag.Local" 'Local \x8d \x5cx1B' 'C:\nowhere\local.exe' "$good_lib"
run_rows <<ROWS
complete	0	-	--trace-summary calls.trace	^ +60\.00 +3\.000 +1 +3\.000 tvcFevalInternal_proxy$	^ +40\.00 +2\.000 +2 +1\.000 kaGetM_proxy$
complete	1	-	--trace-summary bad.trace	^error: 
complete	1	-	--trace-summary huge.trace	^error: huge\.trace: the times of run 1 add up to more than can be counted$
complete	0	-	--component TovanDemo --load	^  COM components$	^      class "Tovan demo calculator" \{CFAB46F3-521A-4D16-B340-C5037EFAE808\} TovanDemo.Calculator.1$	^        category \{74D52C72-7A9B-47AB-BFBE-93C1C1A545BD\} "[^"]+"$	^        interface ICalculator \{94A0EEFD-73FF-4651-BDB5-84B608894981\}$	^          double Sum\(\[in\] VARIANT values\)  id 1$	^          property long Precision get put  id 4$	^        event interface DCalculatorEvents \{A3BF45E4-E8C5-4B4A-8B3F-B645E557DEA1\}$	^          void Computed\(\[in\] BSTR function_name, \[in\] double value\)  id 1$	^  Excel add-in components: none$
complete	0	-	--component TvcCheckMeter --load	^      class "Meter" \{619BD19B-371D-48E7-A974-1DCEE181AE3A\} TvcCheckMeter.1$	^        interface IReader \{EF58E627-B68D-41E5-8181-AC62CF7AA3C7\}$	^          double Read\(\[in\] BSTR channel, \[in\] VARIANT_BOOL fresh\)  id 1$	^        interface IGauge \{79981D50-6CCA-4557-8AAF-B2D0C825501D\}$	^          SAFEARRAY Limits\(\)  id 2$	^          property double Pressure get put  id 1$	^        event interface DMeterEvents \{E157F0B8-A883-477C-960E-FE415CD809B9\}$	^          void Overload\(\[in\] double pascals\)  id 1$
complete	0	TVCVRTRT_TRACE=calls.trace	--no-components	^  tvcvrtrt7_17\.dll +Z:.*\\\\\\\\complete\\\\\\\\bin\\\\\\\\win64\\\\\\\\tvcvrtrt7_17\.dll$	^  file version +7\.14\.0\.585$	^  TVCVRTRT_TRACE +set: 	^  PATH +the library puts the runtime library directory in front:$	^ += ".*\\\\\\\\complete\\\\\\\\bin\\\\\\\\win64\\\\\\\\;"$	^  note: toolbox_prefix is Z:\\\\\\\\ because no toolbox directory was found
complete	0	WINEPATH=\$complete_dos	--no-components	^  PATH +left as it is: the runtime library directory is already in front:$
no_bx	1	-	--no-components	^  tvcvrt\.dll +runtime +NOT LOADED: 	^    tvcvrt\.dll is present, but a library it needs is missing: libbx\.dll$
code_page	0	LC_ALL=C.UTF-8	--no-components	^  note: the folder .* outside the process code page \(1252\).* short \(8\.3\) name, as module_dir shows\.$
complete	0	-	--version	^tvcvrtrt-check 7\.14\.0\.585 
complete	0	-	-h	^usage: tvcvrtrt-check 
complete	0	-	'/?'	^usage: tvcvrtrt-check 
complete	2	-	--component ''	^tvcvrtrt-check: --component needs NAME$	^usage: 
complete	2	-	--trace-summary calls.trace --load	^tvcvrtrt-check: --trace-summary and --load cannot be used together$	^usage: 
complete	2	-	--component TovanDemo --trace-summary calls.trace	^tvcvrtrt-check: --component and --trace-summary cannot be used together$
complete	2	-	--run 2 --no-components	^tvcvrtrt-check: --run needs --trace-summary$	^usage: 
complete	2	-	--trace-summary calls.trace --trace-timeline calls.trace out.json	^tvcvrtrt-check: --trace-summary and --trace-timeline cannot be used together$
complete	2	-	--trace-timeline calls.trace out.json --json	^tvcvrtrt-check: --trace-timeline and --json cannot be used together$
complete	0	-	--component tovandemo	^  COM components: none$
complete	0	-	--component TovanDemo.Calculator	^  COM components: none$
complete	1	-	--component TvcCheck$tag --load	^      could not be read: the reader crashed, exception 0x[0-9A-F]{8}$	^      class "Hostile \\\\x1B\]0;title\\\\x07" 	^        server file not found: "C:\\\\\\\\nowhere\\\\\\\\crash\.dll"$	^    class "Orphan" \{F.*: type library \{F[-0-9A-F]+\} not registered$	^    class "Good" \{8.*: type library \{8[-0-9A-F]+\} 1\.0 describes no class of this CLSID that is registered as an in-process server$	^    class "Local \\\\x8D \\\\\\\\x1B" \{4.*: a local server: the query describes in-process servers only$
ROWS
! grep -q $'\e' "$scratch/stdout" || fail "a control character reached the terminal"
! grep -q 'Tovan demo calculator"' "$scratch/stdout" || fail "--load listed a class that the query did not select"
run_check "$complete" 0 --component TovanDemo --load --json
check_json <<'PYTHON'
(library,) = report["components"][0]["type_libraries"]
(calculator,) = library["classes"]
incoming, events = calculator["interfaces"]
assert [m["name"] for m in incoming["methods"]] == ["Sum", "Product", "Clear"], incoming["methods"]
assert [p["name"] for p in events["methods"][0]["params"]] == ["function_name", "value"], events
assert [(p["name"], p["readable"], p["writable"]) for p in incoming["properties"]] == \
    [("Precision", True, True), ("LastResult", True, False)], incoming["properties"]
assert report["components"][1]["type_libraries"] == []
PYTHON
# Two interfaces whose members share ids: each member under its own, with
# its types as numbers and names.
run_check "$complete" 0 --component TvcCheckMeter --load --json
check_json <<'PYTHON'
(library,) = report["components"][0]["type_libraries"]
(meter,) = library["classes"]
members = [(i["name"], i["iid"], i["events"], [m["name"] for m in i["methods"]], [p["name"] for p in i["properties"]])
           for i in meter["interfaces"]]
assert members == [("IReader", "{EF58E627-B68D-41E5-8181-AC62CF7AA3C7}", False, ["Read"], []),
                   ("IGauge", "{79981D50-6CCA-4557-8AAF-B2D0C825501D}", False, ["Limits"], ["Pressure"]),
                   ("DMeterEvents", "{E157F0B8-A883-477C-960E-FE415CD809B9}", True, ["Overload"], [])], members
read = meter["interfaces"][0]["methods"][0]
assert (read["member_id"], read["return_type"], read["return_type_name"]) == (1, 5, "double"), read
assert [(p["name"], p["type"], p["type_name"], p["flag_names"]) for p in read["params"]] == \
    [("channel", 8, "BSTR", "in"), ("fresh", 11, "VARIANT_BOOL", "in")], read["params"]
limits = meter["interfaces"][1]["methods"][0]
assert (limits["return_type"], limits["return_type_name"]) == (27, "SAFEARRAY"), limits
pressure = meter["interfaces"][1]["properties"][0]
assert (pressure["member_id"], pressure["type"], pressure["type_name"], pressure["readable"], pressure["writable"]) == \
    (1, 5, "double", True, True), pressure
assert [c["catid"] for c in meter["categories"]] == ["{74D52C72-7A9B-47AB-BFBE-93C1C1A545BD}"], meter["categories"]
PYTHON
run_check "$complete" 1 --component "TvcCheck$tag" --load --json
check_json <<'PYTHON'
crash, good = report["components"][0]["type_libraries"]
assert crash["error"].startswith("could not be read: the reader crashed"), crash
assert good["error"] is None and good["classes"] == [], good
reasons = {c["description"].split()[0]: c["reason"] for c in report["components"][0]["undescribed_classes"]}
assert sorted(reasons) == ["Good", "Local", "Orphan"], reasons
assert reasons["Orphan"].endswith("not registered"), reasons
assert reasons["Local"] == "a local server: the query describes in-process servers only", reasons
PYTHON
# A report that cannot be written is an error, not an empty success.
case_name="a report that cannot be written"
for arguments in --json --no-components; do
  status=0
  (cd "$complete" && "$wine" ./tvcvrtrt-check.exe $arguments </dev/null >/dev/full 2>"$scratch/stderr") || status=$?
  [ "$status" = 3 ] || fail "$arguments to a full device: status $status, expected 3"
  grep -q '^tvcvrtrt-check: the report could not be written to standard output: ' "$scratch/stderr" ||
    fail "$arguments to a full device: no message, got: $(cat "$scratch/stderr")"
done
# A reader that has left: the report cannot be written, and the message says
# why. The pipe's only read end is closed before the command writes.
rm -f "$scratch/fifo" && mkfifo "$scratch/fifo"
exec 4<>"$scratch/fifo" 5>"$scratch/fifo"
exec 4<&-
status=0
(cd "$complete" && "$wine" ./tvcvrtrt-check.exe --json </dev/null >&5 2>"$scratch/stderr") || status=$?
exec 5>&-
[ "$status" = 3 ] || fail "--json to a reader that left: status $status, expected 3"
grep -q 'closed the pipe before the report ended' "$scratch/stderr" ||
  fail "--json to a reader that left: got: $(cat "$scratch/stderr")"

# Without <root>\bin\win64 the runtime libraries come from the library's own
# directory, and the command says so.
fallback=$scratch/fallback/lib/here
rm -rf "$scratch/fallback" && mkdir -p "$fallback"
cp "$complete"/*.dll "$complete/tvcvrtrt-check.exe" "$fallback/"
run_check "$fallback" 0 --no-components
expect_line "^  note: runtime_lib_dir is the library's own directory because .*\\\\\\\\fallback\\\\\\\\bin\\\\\\\\win64\\\\\\\\ does not exist"

if [ ${#failures[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}"
  exit 1
fi
echo "diagnostic command: all cases passed"
