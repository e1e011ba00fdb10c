#include "functional/nullfigures.h"

#include <cstdio>

#include "functional/permtest.h"
#include "numeric/plotdata.h"
#include "shell/console.h"
#include "shell/figures.h"

void WriteNullFigures(const std::string& session, const std::vector<NullFigureItem>& items,
                      const PermTest_FunctionalPhyl_Correl_Input& rec,
                      const std::string& nullModel) {
  const int stride = rec.nullStride;
  if (stride <= 0 || rec.nullValues.empty()) return;
  const int iterations = static_cast<int>(rec.nullValues.size() / stride);
  std::vector<double> column(iterations);
  for (const NullFigureItem& item : items) {
    if (item.index < 0 || item.index >= stride) continue;
    for (int i = 0; i < iterations; i++)
      column[i] = rec.nullValues[static_cast<size_t>(i) * stride + item.index];
    const bool twoTailed = rec.nullAbsolute[item.index] != 0;
    const NullHistogram h =
        MakeNullHistogram(column.data(), iterations, column[0], twoTailed);
    char title[256], subtitle[256];
    snprintf(title, sizeof title, "%s = %.4g    P = %.4g", item.name.c_str(), item.value,
             item.p);
    snprintf(subtitle, sizeof subtitle,
             "%s, %d iterations (observed included), %s", nullModel.c_str(), iterations,
             twoTailed ? "two-tailed" : "one-tailed");
    const std::string file = std::string(volumeName) + session + "Null_" +
                             FileSafeName(item.name) + ".svg";
    FigureNullHistogram(file.c_str(), h, column[0], twoTailed, title, subtitle,
                        item.name + " under the null model");
  }
}
