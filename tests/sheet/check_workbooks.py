"""Reads the workbooks of sheet_workbook_writer back with openpyxl, a reader
of its own: cell types and values, headings and units."""

import subprocess
import sys
import tempfile

import openpyxl


def main():
    writer = sys.argv[1]
    failures = []

    def expect(what, got, want):
        if got != want:
            failures.append(f"{what}: got {got!r}, want {want!r}")

    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([writer, folder], check=True)

        ws = openpyxl.load_workbook(f"{folder}/dataset.xlsx").worksheets[0]
        for ref, want in [("A1", "Time"), ("B1", "Engine speed"), ("C1", "Coolant temp."),
                          ("A2", "s"), ("B2", "RPM"), ("C2", "\u00b0C")]:
            expect(ref, ws[ref].value, want)
            expect(ref + " type", ws[ref].data_type, "s")
        for ref, want in [("A3", 0.25), ("B3", 850), ("C3", -40),
                          ("A4", 0.00001), ("B4", 0), ("C4", 151.25)]:
            expect(ref, ws[ref].value, want)
            expect(ref + " type", ws[ref].data_type, "n")
        expect("dataset size", (ws.max_row, ws.max_column), (4, 3))

        ws = openpyxl.load_workbook(f"{folder}/graph.xlsx").worksheets[0]
        expect("A1", ws["A1"].value, "Dataset 0")
        expect("A2", ws["A2"].value, "Speed and engine speed")
        expect("A3", ws["A3"].value, None)
        expect("A4", ws["A4"].value, "Speed")
        expect("D4", ws["D4"].value, "Engine speed")
        expect("A5", ws["A5"].value, "Time")
        expect("E5", ws["E5"].value, "Engine speed")
        expect("B6", ws["B6"].value, "mph")
        expect("E6", ws["E6"].value, "RPM")
        for row in range(7, 12):
            i = row - 6
            expect(f"D{row}", ws[f"D{row}"].value, 0.5 * i)
            expect(f"E{row}", ws[f"E{row}"].value, 700 + 100 * i)
            expect(f"E{row} type", ws[f"E{row}"].data_type, "n")
            if i <= 3:
                expect(f"B{row}", ws[f"B{row}"].value, 10 * i)
            else:
                expect(f"A{row}", ws[f"A{row}"].value, None)
                expect(f"B{row}", ws[f"B{row}"].value, None)
            expect(f"C{row}", ws[f"C{row}"].value, None)

        ws = openpyxl.load_workbook(f"{folder}/odd.xlsx").worksheets[0]
        expect("A1", ws["A1"].value, "NAN")
        expect("B1", ws["B1"].value, "-INF")
        expect("C1", ws["C1"].value, "Coolant over 50\u00b0C \u20ac")
        expect("D1", ws["D1"].value, "bell\ufffd")
        expect("A2", ws["A2"].value, 1e-300)
        expect("B2", ws["B2"].value, 123456789012345)
        expect("XFD3", ws["XFD3"].value, "far")

    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
