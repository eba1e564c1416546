#include "table/table_columns.h"

#include <iterator>

namespace qnvtab {
namespace {

constexpr TableColumn kFixed[] = {
    {Column::Event, "Event", "event", CellKind::Number},
    {Column::TimeMsec, "Time (msec)", "time_msec", CellKind::Number},
    {Column::Date, "Date", "date", CellKind::Text},
    {Column::LocalTime, "Local Time", "local_time", CellKind::Text},
    {Column::Cmd, "Cmd", "cmd", CellKind::Text},
    {Column::S, "S", "s", CellKind::Text},
    {Column::RC, "RC", "rc", CellKind::Code},
    {Column::PoIn, "PoIn", "po_in", CellKind::Number},
    {Column::LsnIn, "LsnIn", "lsn_in", CellKind::Code},
    {Column::PoOut, "PoOut", "po_out", CellKind::Number},
    {Column::LsnOut, "LsnOut", "lsn_out", CellKind::Code},
    {Column::Info, "Info", "info", CellKind::Code},
    {Column::Length, "Length", "length", CellKind::Number},
    {Column::BufferAddress, "BufferAddress", "buffer_address", CellKind::Code},
};
static_assert(std::size(kFixed) == kFixedColumns);

constexpr TableColumn kOneDump = {Column::Dump, "BufferContent", "buffer_content", CellKind::Dump};
constexpr TableColumn kHexDump = {Column::Dump, "BufferContent (Hex)", "buffer_content_hex",
                                  CellKind::Dump};
constexpr TableColumn kAsciiDump = {Column::SecondDump, "BufferContent (Ascii)",
                                    "buffer_content_ascii", CellKind::Dump};

}  // namespace

std::vector<TableColumn> tableColumns(DataFormat dataFormat) {
  std::vector<TableColumn> columns(std::begin(kFixed), std::end(kFixed));
  if (dataFormat == DataFormat::HexAscii) {
    columns.push_back(kHexDump);
    columns.push_back(kAsciiDump);
  } else {
    columns.push_back(kOneDump);
  }
  return columns;
}

}  // namespace qnvtab
