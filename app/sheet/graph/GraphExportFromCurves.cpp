#include "app/sheet/graph/GraphExportFromCurves.h"

#include "graph/core/Curves.h"

namespace quillmar {

GraphExport GraphExportFromCurves(const TAxes& axes, const TCurves& curves) {
    GraphExport graph;
    graph.Line1 = axes.Title.Line1;
    graph.Line2 = axes.Title.Line2;
    const TAxis& x = axes.Axis(0);
    graph.Curves.reserve(static_cast<size_t>(curves.Count()));
    for (int j = 0; j < curves.Count(); ++j) {
        const TCurve& curve = curves.GetCurve(j);
        const TAxis& y = axes.Axis(curve.YAxis == 2 ? 2 : 1);
        GraphCurveExport& c = graph.Curves.emplace_back();
        c.CurveName = curve.Name;
        c.XLabel = x.Label;
        c.XUnits = x.Units;
        c.YLabel = y.Label;
        c.YUnits = y.Units;
        // A curve without a series exports as one without points.
        c.Data = curve.Series.get();
    }
    return graph;
}

} // namespace quillmar
