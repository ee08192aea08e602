// Reads arbitrary bytes as a merge table, then fills a message naming its columns from every row.
// Every failure must be an sw::Exception.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/exception.h"
#include "magnet/merge_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const sw::TMergeTable table = sw::TMergeTable::Parse(text);
    std::string message = "$$ ${";
    for (const std::string& column : table.Columns()) message += column + "} ${";
    message += "}";
    try {
      for (int32_t row = 0; row < table.RowCount() && row < 64; ++row) (void)sw::FillMessageFields(message, table, row);
    } catch (const sw::Exception&) {
    }
  } catch (const sw::Exception&) {
  }
  // The same bytes as a message with fields.
  try {
    (void)sw::MessageFields(text);
  } catch (const sw::Exception&) {
  }
  return 0;
}
