// LibreOffice Calc headless as the tests' spreadsheet: reads workbooks
// back into TAB-separated text, and sorts a sheet as a user would.
#ifndef QNVTAB_TESTS_SUPPORT_CALC_H_
#define QNVTAB_TESTS_SUPPORT_CALC_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

namespace qnvtab::testing {

// TAB-separated, text cells quoted and numbers not, UTF-8, values as the
// cells show them.
constexpr char kCalcCsvOptions[] = "9,34,76,1,,0,true,false,true,false,false";

inline bool haveCalc() { return std::system("command -v soffice >/dev/null 2>&1") == 0; }

inline std::string calcCommand(const TempDir& dir) {
  return "cd '" + dir.path() + "' && soffice -env:UserInstallation=file://" + dir.path() +
         "/calc-profile --headless";
}

// Reads every sheet of the workbooks `dir`/NAME.xlsx with Calc, into
// `dir`/NAME-SHEET.csv.
inline void readWithCalc(const TempDir& dir, const std::vector<std::string>& names) {
  std::string command = calcCommand(dir) +
                        " --convert-to 'csv:Text - txt - csv (StarCalc):" + kCalcCsvOptions +
                        ",-1' --outdir .";
  for (const std::string& name : names) command += " '" + name + ".xlsx'";
  const RunResult run = runShell(command + " 2>&1");
  ASSERT_EQ(run.status, 0) << run.out;
}

inline std::string sheetCsv(const TempDir& dir, const std::string& name, const std::string& sheet) {
  return readFile(dir.file(name + "-" + sheet + ".csv"));
}

// Has Calc sort the first sheet of `dir`/NAME.xlsx, title row kept on top,
// by its last column, latest first, and store it as `dir`/NAME-sorted.csv.
// Runs after readWithCalc(), which makes the profile the macro goes into.
inline void sortWithCalc(const TempDir& dir, const std::string& name) {
  const std::string macro =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE script:module PUBLIC \"-//OpenOffice.org//DTD OfficeDocument 1.0//EN\" "
      "\"module.dtd\">\n"
      "<script:module xmlns:script=\"http://openoffice.org/2000/script\" "
      "script:name=\"Module1\" script:language=\"StarBasic\">\n"
      "Sub SortByLastColumn(inUrl As String, outUrl As String)\n"
      "  Dim load(0) As New com.sun.star.beans.PropertyValue\n"
      "  load(0).Name = &quot;Hidden&quot;\n"
      "  load(0).Value = True\n"
      "  doc = StarDesktop.loadComponentFromURL(inUrl, &quot;_blank&quot;, 0, load())\n"
      "  sheet = doc.Sheets.getByIndex(0)\n"
      "  cursor = sheet.createCursor()\n"
      "  cursor.gotoEndOfUsedArea(False)\n"
      "  last = cursor.RangeAddress.EndColumn\n"
      "  range = sheet.getCellRangeByPosition(0, 0, last, cursor.RangeAddress.EndRow)\n"
      "  Dim field(0) As New com.sun.star.table.TableSortField\n"
      "  field(0).Field = last\n"
      "  field(0).IsAscending = False\n"
      "  Dim sort(1) As New com.sun.star.beans.PropertyValue\n"
      "  sort(0).Name = &quot;SortFields&quot;\n"
      "  sort(0).Value = field()\n"
      "  sort(1).Name = &quot;ContainsHeader&quot;\n"
      "  sort(1).Value = True\n"
      "  range.sort(sort())\n"
      "  Dim store(1) As New com.sun.star.beans.PropertyValue\n"
      "  store(0).Name = &quot;FilterName&quot;\n"
      "  store(0).Value = &quot;Text - txt - csv (StarCalc)&quot;\n"
      "  store(1).Name = &quot;FilterOptions&quot;\n"
      "  store(1).Value = &quot;" +
      std::string(kCalcCsvOptions) +
      "&quot;\n"
      "  doc.storeToURL(outUrl, store())\n"
      "  doc.close(True)\n"
      "End Sub\n"
      "</script:module>\n";
  const std::string module = dir.file("calc-profile/user/basic/Standard/Module1.xba");
  ASSERT_TRUE(fileExists(module)) << "no Calc profile yet";
  writeFile(module, std::vector<uint8_t>(macro.begin(), macro.end()));
  const std::string url = "file://" + dir.path() + "/";
  const RunResult run =
      runShell(calcCommand(dir) + " 'macro:///Standard.Module1.SortByLastColumn(\"" + url + name +
               ".xlsx\",\"" + url + name + "-sorted.csv\")' 2>&1");
  ASSERT_EQ(run.status, 0) << run.out;
  ASSERT_TRUE(fileExists(dir.file(name + "-sorted.csv"))) << run.out;
}

}  // namespace qnvtab::testing

#endif  // QNVTAB_TESTS_SUPPORT_CALC_H_
