#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_script.h"

namespace {

// A history made by kelvarin-upload, then filled with uploads of readings
// drawn by Python: `fill UNIT N MEAN S [TOOL]` adds one upload of N readings.
const char* const kFill = R"sh(start_tool --fast --records 2; $UP --port 4 >/dev/null
fill() { python3 - "$KELVARIN_HISTORY" "$@" <<'PY'
import random, sqlite3, sys
db, unit, n, mean, s = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5])
tool = sys.argv[6] if len(sys.argv) > 6 else "T1"
c = sqlite3.connect(db)
up = c.execute("INSERT INTO upload (finished, source, version, host, user, port, device, full_range,"
               " data_length, tool, last_ack_written, records) VALUES ('2026-01-02T03:04:05.000Z',"
               " 'window', '1', 'h', 'u', 1, '/dev/x', '20', ?, ?, 1, ?)", (str(n), tool, n)).lastrowid
random.seed(n)
for r in range(n):
    data = "%.6f" % random.gauss(mean, s)
    c.execute("INSERT INTO reading VALUES (?, ?, ?, ?, ?, 'passed', ?)", (up, r, str(r + 1), data, unit, float(data)))
c.commit()
PY
}
)sh";

// The report's figures against Python's statistics, A² against scipy and its
// p-value against statsmodels; the page is HTML a parser takes, its SVG is
// well-formed XML, texts from the history are escaped, and a browser prints
// it on one A4 page with both charts drawn.
TEST(HistoryReport, FiguresAgreeWithIndependentComputationsAndThePagePrints) {
    const Ending run = Script(kFill + std::string(R"sh(
fill N.m 150 12.5 0.1 '<script>x</script>'; fill N.m 105 12.6 0.12 '<script>x</script>'
$HIST report --tool '<script>x</script>' --limits 12.1:12.9 --cm-min 1.33 --title 'A & <B>' --output $dir/r.html || exit
$HIST stats --tool '<script>x</script>' --limits 12.1:12.9 --format json >$dir/stats.json || exit
chromium --headless --no-sandbox --disable-gpu --print-to-pdf=$dir/r.pdf --no-pdf-header-footer file://$dir/r.html 2>/dev/null
chromium --headless --no-sandbox --disable-gpu --screenshot=$dir/r.png --window-size=800,1300 file://$dir/r.html 2>/dev/null
pdfinfo $dir/r.pdf | grep -E '^Pages: +1$' || exit
# Both charts drawn: the bars' colour and the lines' colour are on the page.
convert $dir/r.png -format %c histogram:info: | grep -ic -E '#9EC5E8|#1F4E79' | grep -qx 2 || exit
# Debian's Python, with the packages scripts/deps installs.
/usr/bin/python3 - $dir <<'PY'
import html.parser, json, numpy, re, sqlite3, statistics, sys, xml.etree.ElementTree as ET
from scipy import stats
from statsmodels.stats.diagnostic import normal_ad
page = open(sys.argv[1] + "/r.html", encoding="utf-8").read()
hist, run = [ET.fromstring(svg) for svg in re.findall(r"<svg.*?</svg>", page, re.S)]
# The limits and the mean: upright in the histogram, in its order; level in the run chart.
ends = lambda svg, cls: [[float(v) for v in re.findall(r"[-0-9.]+", p.get("d"))]
                         for p in svg.iter("{http://www.w3.org/2000/svg}path") if p.get("class") == cls]
low, high = ends(hist, "limit")
assert low[0] == low[2] and high[0] == high[2] and low[0] < ends(hist, "mean")[0][0] < high[0]
assert all(e[1] == e[3] for e in ends(run, "limit") + ends(run, "mean") + ends(run, "sigma"))
bars = [p.get("d") for p in hist.iter("{http://www.w3.org/2000/svg}path") if p.get("class") == "bars"]
assert bars[0].count("Z") >= 6, bars  # Sturges: 9 bins for 255 readings, most of them filled
class Cells(html.parser.HTMLParser):
    rows, cell = {}, None
    def handle_starttag(self, tag, attrs): self.cell = tag if tag in ("th", "td") else self.cell
    def handle_data(self, data):
        if self.cell == "th": self.key = data
        elif self.cell == "td": self.rows[self.key] = self.rows.get(self.key, "") + data
    def handle_endtag(self, tag): self.cell = None
cells = Cells(); cells.feed(page)
assert "<script" not in page and "&lt;script&gt;x&lt;/script&gt;" in page, "not escaped"
assert "<title>A &amp; &lt;B&gt;</title>" in page
s = json.load(open(sys.argv[1] + "/stats.json"))["units"][0]
for key in ("mean", "s", "min", "max", "range", "cm", "cmk"):
    assert cells.rows[{"cm": "Cm", "cmk": "Cmk"}.get(key, key)] == "%.6f" % s[key], key
v = [r[0] for r in sqlite3.connect(sys.argv[1] + "/history.sqlite3").execute(
    "SELECT value FROM reading WHERE unit = 'N.m' AND upload > 1 ORDER BY upload, row")]
assert cells.rows["n"] == str(len(v)) == "255"
assert abs(statistics.mean(v) - s["mean"]) < 1e-6 and abs(statistics.stdev(v) - s["s"]) < 1e-6
assert abs((12.9 - 12.1) / (6 * statistics.stdev(v)) - s["cm"]) < 1e-6
a2 = float(re.search(r"A² = ([0-9.]+)", page).group(1))
p = float(re.search(r"p = ([0-9.]+)", page).group(1))
assert abs(a2 - stats.anderson(v).statistic) < 1e-4, (a2, stats.anderson(v).statistic)
assert abs(p - normal_ad(numpy.array(v))[1]) < 1e-4, (p, normal_ad(numpy.array(v)))
verdict = "capable" if s["cm"] >= 1.33 and s["cmk"] >= 1.67 else "not capable"
assert re.search(r'class="verdict [a-z-]+"><strong>%s</strong>' % verdict, page), verdict
PY)sh"));
    EXPECT_EQ(run.status, 0) << run.err << run.out;
}

// Both programs write a workbook of the list that openpyxl and the office
// read back cell for cell as the list printed as CSV, with the upload's
// fields and summary on the second sheet; only into a file.
TEST(Workbook, BothProgramsWriteTheListThatOpenpyxlAndTheOfficeReadBack) {
    const Ending run = Script(R"sh(
start_tool --fast --records 12; $UP --port 4 --format xlsx --limits 10:14 --job J --output $dir/u.xlsx || exit
start_tool --fast --records 12; $UP --port 4 --format csv --no-history --output $dir/u.csv 2>/dev/null || exit
$HIST show 1 --format xlsx --summary --output $dir/h.xlsx || exit
check=")sh" KELVARIN_TEST_SUPPORT R"sh(/check_workbook.py"
/usr/bin/python3 $check $dir/u.xlsx $dir/u.csv "Full Range=20" "Data Length=12" "Limits=10" || exit
$HIST show 1 --format json --summary >$dir/h.json || exit
/usr/bin/python3 $check $dir/h.xlsx $dir/u.csv "id=1" "job=J" "summary=$dir/h.json" || exit
# The office's CSV of the cells as shown.
soffice --headless --norestore "-env:UserInstallation=file://$dir/office" \
    --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true' \
    --outdir $dir/office $dir/u.xlsx >/dev/null 2>&1 || exit
/usr/bin/python3 -c 'import csv, sys
read = lambda f: list(csv.reader(open(f, newline="", encoding="utf-8")))
assert read(sys.argv[1]) == read(sys.argv[2]), read(sys.argv[1])' $dir/office/u.csv $dir/u.csv || exit
$UP --port 4 --format xlsx; echo "status $?"
$HIST list --format xlsx --output $dir/l.xlsx; echo "status $?")sh");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "status 2\nstatus 2\n");
    EXPECT_NE(run.err.find("--format xlsx writes a file: name it with --output FILE"),
              std::string::npos);
    EXPECT_NE(run.err.find("--format takes text, csv or json"), std::string::npos);
}

// The edges: what a report says with too few readings or none spread, when
// every reading is outside, and what it refuses (status 2) before writing.
TEST(HistoryReport, EdgesAreSaidAndRefusalsWriteNothing) {
    const std::vector<Ending> cases = {
        {"fill N.m 1 12 0.1 a; rep --tool a", 0,
         "…not assessable</strong>: fewer than two readings…Only 1 reading:…"
         "Not assessable: the test needs",
         ""},
        {"fill N.m 5 12 0 a; rep --tool a", 0,
         "…not assessable</strong>: the readings have no spread…Only 5 readings", ""},
        {"fill N.m 30 20 0.1 a; rep --tool a", 0,
         "…outside the limits</th><td>30<…record 20: …and 10 more</p>", ""},
        {"fill N.m 3 12 0.1 a; fill kgf.cm 3 1 0.1 a; rep --tool a", 2, "",
         "several units (N.m, kgf.cm): choose one with --unit"},
        {"rep --unit lbf.in", 2, "", "no reading with a value in lbf.in in the selection"},
        {"rep --tool nobody", 2, "", "no upload in the selection"},
        {"$HIST report", 2, "", "report needs --limits LOWER:UPPER"},
        {"rep --cm-min 0", 2, "", "--cm-min takes a positive number"},
    };
    ExpectEndings(cases, kFill + std::string(R"sh(
rep() { $HIST report --limits 11:13 --output $dir/r.html "$@"; s=$?; cat $dir/r.html 2>/dev/null; return $s; }
)sh"));
}

}  // namespace
