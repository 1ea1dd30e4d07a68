// The CSV import wizard: the preview of any file, mapping its columns and
// importing into the roster editor's grid.
#include "fuzz_support.h"

#include "csv_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TCsvWizardModel m;
    m.LoadCsvFile(fuzz::WriteInput("import.csv", data, size));
    for (const auto& row : m.Preview) FUZZ_CHECK(static_cast<int>(row.size()) <= m.Columns);
    // The columns are mapped from the input's first bytes (any column,
    // also past the last one), and the wizard imports.
    m.TargetButton(1, true);
    for (size_t i = 0; i < 4 && i < size; ++i) m.ColumnClick(static_cast<int>(data[i] % 8) - 1);
    TMeiboGrid grid;
    m.Import(grid, size % 2 == 0);
    return 0;
}
