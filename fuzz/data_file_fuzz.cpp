// The data-file reader on any bytes; whatever it keeps must write and read back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TDane db;
  datafile::ReadDatabase(std::string_view(reinterpret_cast<const char*>(data), size), db);
  const std::string written = datafile::DatabaseText(db);
  TDane again;
  const datafile::ReadResult result = datafile::ReadDatabase(written, again);
  if (result.damaged || again.Count() != db.Count()) std::abort();
  if (datafile::DatabaseText(again) != written) std::abort();
  return 0;
}
