#include "app/sheet/ExportTables.h"

#include "acquisition/params/Parameters.h"
#include "app/sheet/Spreadsheet.h"
#include "store/base/AtomicFile.h"
#include "store/dataset/ALDLLog.h"

#include <algorithm>
#include <cmath>
#include <langinfo.h>
#include <locale.h>

namespace quillmar {

// ---- numbers -----------------------------------------------------------

std::string UserDecimalSeparator() {
    const locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (!user) return ".";
    const char* radix = nl_langinfo_l(RADIXCHAR, user);
    std::string separator = radix && *radix ? radix : ".";
    freelocale(user);
    return separator;
}

std::string FormatExportNumber(double value, std::string_view decimalSeparator) {
    std::string text = FormatGeneral(value);
    if (decimalSeparator == ".") return text;
    const auto point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, decimalSeparator);
    return text;
}

// ---- dataset table -----------------------------------------------------

namespace {

// Entries the dataset table covers: every one but the last.
size_t tableEntries(const TParameterArray& params) {
    return params.empty() ? 0 : params.size() - 1;
}

double rowTime(const TALDLLog& log, uint32_t row) {
    const TDoubleArray& times = log.Derived[TimeSlot];
    return row < times.size() ? times[row] : 0.0;
}

} // namespace

uint64_t DatasetTableValueCount(const TParameterArray& params, const TALDLLog& log) {
    return uint64_t(tableEntries(params) + log.UserChannels.size()) * log.Rows;
}

void WriteDatasetTable(const TParameterArray& params, const TALDLLog& log, std::string_view decimalSeparator,
                       const std::function<void(const std::string&)>& sink, const TableProgress* progress,
                       size_t chunkBytes) {
    const size_t entries = tableEntries(params);
    std::string text;
    text.reserve(std::min<size_t>(chunkBytes, 1 << 24) + 4096);
    text += "Time\t";
    for (size_t i = 0; i < entries; ++i)
        text += params[i].Name + '\t';
    for (const UserChannelColumn& channel : log.UserChannels)
        text += channel.Name + '\t';
    text += "\r\n";
    text += "s\t";
    for (size_t i = 0; i < entries; ++i)
        text += params[i].Units + '\t';
    for (const UserChannelColumn& channel : log.UserChannels)
        text += channel.Unit + '\t';
    text += "\r\n";

    if (progress && progress->Start) progress->Start(DatasetTableValueCount(params, log));
    const bool stepping = progress && progress->Step;
    for (uint32_t r = 1; r <= log.Rows; ++r) {
        text += FormatExportNumber(rowTime(log, r), decimalSeparator);
        text += '\t';
        for (size_t k = 1; k <= entries; ++k) {
            text += FormatExportNumber(static_cast<double>(log.ParameterValue(static_cast<int>(k), r)),
                                       decimalSeparator);
            text += '\t';
            if (stepping) progress->Step();
        }
        // A user channel's row without a value is an empty cell.
        for (const UserChannelColumn& channel : log.UserChannels) {
            const double v = r < channel.Values.size() ? channel.Values[r] : NAN;
            if (std::isfinite(v)) text += FormatExportNumber(v, decimalSeparator);
            text += '\t';
            if (stepping) progress->Step();
        }
        text += "\r\n";
        if (text.size() >= chunkBytes) {
            sink(text);
            text.clear();
        }
    }
    if (!text.empty()) sink(text);
}

std::string DatasetTableText(const TParameterArray& params, const TALDLLog& log,
                             std::string_view decimalSeparator, const TableProgress* progress) {
    std::string all;
    WriteDatasetTable(
        params, log, decimalSeparator, [&all](const std::string& piece) { all += piece; }, progress);
    return all;
}

void FillDatasetSheet(TWorksheet& sheet, const TParameterArray& params, const TALDLLog& log) {
    sheet.Paste(DatasetTableText(params, log, "."), 1, 1, ".");
}

// ---- dataset CSV -------------------------------------------------------

std::string CsvCell(const std::string& text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

namespace {

std::string csvNumber(double v) {
    return std::isnan(v) ? std::string() : FormatGeneral(v);
}

} // namespace

std::string CsvColumnName(const TParameter& p) {
    const std::string name = DisplayName(p);
    return p.Flags || p.Units.empty() ? name : name + " (" + p.Units + ")";
}

void WriteDatasetCsv(const TParameterArray& params, const TALDLLog& log,
                     const std::function<void(const std::string&)>& sink, size_t chunkBytes) {
    // The time comes first; the derived "Time" entry would only repeat it.
    std::vector<int> columns;
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].Size != 0 || DerivedSlot(DisplayName(params[i])) != TimeSlot)
            columns.push_back(static_cast<int>(i + 1));
    std::string text;
    text.reserve(chunkBytes + 4096);
    text += "Time (s)";
    for (int k : columns)
        text += ',' + CsvCell(CsvColumnName(params[size_t(k - 1)]));
    for (const UserChannelColumn& channel : log.UserChannels)
        text += ',' + CsvCell(channel.Unit.empty() ? channel.Name : channel.Name + " (" + channel.Unit + ")");
    text += "\r\n";
    for (uint32_t r = 1; r <= log.Rows; ++r) {
        text += csvNumber(rowTime(log, r));
        for (int k : columns)
            text += ',' + csvNumber(static_cast<double>(log.ParameterValue(k, r)));
        for (const UserChannelColumn& channel : log.UserChannels)
            text += ',' + csvNumber(r < channel.Values.size() ? channel.Values[r] : NAN);
        text += "\r\n";
        if (text.size() >= chunkBytes) {
            sink(text);
            text.clear();
        }
    }
    if (!text.empty()) sink(text);
}

std::string DatasetCsvText(const TParameterArray& params, const TALDLLog& log) {
    std::string all;
    WriteDatasetCsv(params, log, [&all](const std::string& piece) { all += piece; });
    return all;
}

// ---- graph table -------------------------------------------------------

uint32_t GraphCurveExport::PointCount() const {
    return Data ? Data->Points : static_cast<uint32_t>(Points.size());
}

double GraphCurveExport::X(uint32_t i) const {
    if (Data) return static_cast<double>(Data->GetX(i));
    return i >= 1 && i <= Points.size() ? Points[i - 1].first : 0.0;
}

double GraphCurveExport::Y(uint32_t i) const {
    if (Data) return static_cast<double>(Data->GetY(i));
    return i >= 1 && i <= Points.size() ? Points[i - 1].second : 0.0;
}

uint32_t GraphExport::MaxPoints() const {
    uint32_t p = 0;
    for (const auto& c : Curves)
        p = std::max(p, c.PointCount());
    return p;
}

std::string GraphExport::WorkbookName() const {
    for (const std::string* line : {&Line1, &Line2})
        if (line->find_first_not_of(" \t") != std::string::npos) return *line;
    return "Graph";
}

uint32_t FillGraphSheet(TWorksheet& sheet, const GraphExport& graph) {
    const auto text = [&sheet](uint32_t row, uint32_t column, const std::string& value) {
        if (!value.empty()) sheet.Item(row, column) = value;
    };
    text(1, 1, graph.Line1);
    text(2, 1, graph.Line2);
    uint32_t p = 0;
    for (size_t j = 0; j < graph.Curves.size(); ++j) {
        const auto& c = graph.Curves[j];
        const auto x = static_cast<uint32_t>(3 * j + 1);
        text(4, x, c.CurveName);
        text(5, x, c.XLabel);
        text(5, x + 1, c.YLabel);
        text(6, x, c.XUnits);
        text(6, x + 1, c.YUnits);
        p = std::max(p, c.PointCount());
    }
    for (uint32_t i = 1; i <= p; ++i) {
        for (size_t j = 0; j < graph.Curves.size(); ++j) {
            const auto& c = graph.Curves[j];
            if (i > c.PointCount()) continue;
            const auto x = static_cast<uint32_t>(3 * j + 1);
            sheet.Item(6 + i, x) = c.X(i);
            sheet.Item(6 + i, x + 1) = c.Y(i);
        }
    }
    return p;
}

std::string GraphTableText(const GraphExport& graph, std::string_view decimalSeparator) {
    std::string text = graph.Line1 + "\r\n" + graph.Line2 + "\r\n\r\n";
    for (const auto& c : graph.Curves)
        text += c.CurveName + "\t\t\t";
    text += "\r\n";
    const auto pairLine = [&](auto&& cells) {
        for (size_t j = 0; j < graph.Curves.size(); ++j) {
            if (j > 0) text += "\t\t";
            const auto [a, b] = cells(graph.Curves[j]);
            text += a;
            text += '\t';
            text += b;
        }
        text += "\r\n";
    };
    pairLine([](const GraphCurveExport& c) { return std::pair(c.XLabel, c.YLabel); });
    pairLine([](const GraphCurveExport& c) { return std::pair(c.XUnits, c.YUnits); });
    const uint32_t p = graph.MaxPoints();
    for (uint32_t i = 1; i <= p; ++i) {
        pairLine([&](const GraphCurveExport& c) {
            if (i > c.PointCount()) return std::pair(std::string(), std::string());
            return std::pair(FormatExportNumber(c.X(i), decimalSeparator),
                             FormatExportNumber(c.Y(i), decimalSeparator));
        });
    }
    return text;
}

GraphTextResult WriteGraphTextFile(const std::string& path, const GraphExport& graph,
                                   std::string_view decimalSeparator) {
    if (graph.MaxPoints() < 1) return GraphTextResult::NoPoints;
    try {
        WriteFileAtomically(path, GraphTableText(graph, decimalSeparator));
    } catch (const FileError& e) {
        // The writer says "Cannot create file ..." when no file could be made at all.
        return std::string_view(e.what()).starts_with("Cannot create file") ? GraphTextResult::CannotCreate
                                                                            : GraphTextResult::WriteFailed;
    }
    return GraphTextResult::Written;
}

} // namespace quillmar
