"""quillmar-cli export as a user runs it: a log recorded in test mode written
as a workbook (read back with openpyxl), as CSV and as the table text, which
must equal what 'quillmar-cli table' prints; an unknown extension and a bad
input end with status 2 and leave no file."""

import csv
import io
import os
import subprocess
import sys
import tempfile

import openpyxl


def main():
    cli = sys.argv[1]
    failures = []

    def expect(what, got, want):
        if got != want:
            failures.append(f"{what}: got {got!r}, want {want!r}")

    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, HOME=folder, XDG_CONFIG_HOME=folder, TMPDIR=folder, LC_ALL="C")
        ini = os.path.join(folder, "protocol.ini")

        def run(*args):
            return subprocess.run([cli, *args], env=env, capture_output=True)

        log = os.path.join(folder, "drive.ecu")
        r = run("log", "--test-mode", "--out", log, "--rows", "7", "--period", "10", "--ini", ini)
        if r.returncode != 0:
            print("recording failed:", r.stderr.decode())
            return 1
        table = run("table", log, "--ini", ini)
        expect("table status", table.returncode, 0)
        lines = table.stdout.decode("utf-8").split("\r\n")
        names = lines[0].split("\t")[:-1]
        units = lines[1].split("\t")[:-1]
        rows = [line.split("\t")[:-1] for line in lines[2:] if line]
        expect("table rows", len(rows), 7)

        # .tsv: the table text byte for byte.
        tsv = os.path.join(folder, "drive.tsv")
        r = run("export", log, "--out", tsv, "--ini", ini)
        expect("tsv status", (r.returncode, r.stdout.decode()), (0, f"Wrote 7 rows to {tsv}\n"))
        with open(tsv, "rb") as f:
            expect("tsv bytes equal the table", f.read() == table.stdout, True)

        # .xlsx: the same table, names and units as text, values as numbers.
        xlsx = os.path.join(folder, "Drive.XLSX")
        r = run("export", log, "--out", xlsx, "--ini", ini)
        expect("xlsx status", r.returncode, 0)
        ws = openpyxl.load_workbook(xlsx).worksheets[0]
        expect("xlsx size", (ws.max_row, ws.max_column), (2 + len(rows), len(names)))
        for c, (name, unit) in enumerate(zip(names, units), start=1):
            head = ws.cell(row=1, column=c)
            # A pasted name that reads as a number ("25", an unnamed byte)
            # becomes a number, as any paste into a spreadsheet makes it.
            if name.isdigit():
                expect(f"heading {c}", head.value, int(name))
            else:
                expect(f"heading {c}", head.value, name)
                expect(f"heading {c} type", head.data_type, "s")
            if unit:
                expect(f"unit {c}", ws.cell(row=2, column=c).value, unit)
        for r_i, row in enumerate(rows, start=3):
            for c, text in enumerate(row, start=1):
                cell = ws.cell(row=r_i, column=c)
                expect(f"cell {r_i},{c} type", cell.data_type, "n")
                if cell.data_type == "n" and abs(cell.value - float(text)) > 1e-9 * max(1, abs(float(text))):
                    failures.append(f"cell {r_i},{c}: {cell.value!r} against {text}")

        # .csv: one header row, comma separated, the time first.
        path = os.path.join(folder, "drive.csv")
        r = run("export", log, "--out", path, "--ini", ini)
        expect("csv status", r.returncode, 0)
        with open(path, encoding="utf-8", newline="") as f:
            table_csv = list(csv.reader(io.StringIO(f.read())))
        expect("csv header start", table_csv[0][:1], ["Time (s)"])
        expect("csv has engine speed", "Engine speed (RPM)" in table_csv[0], True)
        expect("csv rows", len(table_csv), 8)
        expect("csv times", [float(line[0]) for line in table_csv[1:]], [float(row[0]) for row in rows])

        # Refusals: status 2, no file left.
        for args, why in [
            (["export", log, "--out", os.path.join(folder, "drive.txt"), "--ini", ini], ".xlsx, .csv or .tsv"),
            (["export", log, "--out", os.path.join(folder, "drive"), "--ini", ini], ".xlsx, .csv or .tsv"),
            (["export", os.path.join(folder, "missing.ecu"), "--out", os.path.join(folder, "m.csv"),
              "--ini", ini], "missing.ecu"),
            (["export", ini, "--out", os.path.join(folder, "n.xlsx"), "--ini", ini], "protocol.ini"),
            (["export", log, "--ini", ini], "--out FILE is required"),
        ]:
            r = run(*args)
            expect(f"{args[1:4]} status", r.returncode, 2)
            expect(f"{args[1:4]} says why", why in r.stderr.decode(), True)
        for name in ["drive.txt", "drive", "m.csv", "n.xlsx"]:
            expect(f"{name} not created", os.path.exists(os.path.join(folder, name)), False)

    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
