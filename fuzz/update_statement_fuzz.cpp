// Whatever the figure, car park number or date, an update statement has the
// same shape: its own text outside three literals, which hold exactly the
// three values.

#include "fuzz_check.h"
#include "support/sql_literals.h"
#include "totals/figures.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace parktotals;
    FuzzedDataProvider input(data, size);
    const int figure = input.ConsumeIntegralInRange(0, kFigureCount - 1);
    const std::string value = input.ConsumeRandomLengthString(256);
    const std::string park = input.ConsumeRandomLengthString(256);
    const std::string date = input.ConsumeRemainingBytesAsString();

    const auto shape = testing::ShapeOf(BuildUpdateStatement(figure, value, park, date));
    const auto plain = testing::ShapeOf(BuildUpdateStatement(figure, "0", "1", "20260101"));
    FUZZ_CHECK(shape && plain);
    FUZZ_CHECK(shape->skeleton == plain->skeleton);
    FUZZ_CHECK((shape->literals == std::vector<std::string>{value, park, date}));
    return 0;
}
