#include "cli/console.h"

namespace qnvtab {

const char kCannotOpenInputText[] = "Cannot open input file!\n";
const char kCannotOpenOutputText[] = "Cannot open output file!\n";
const char kCannotWriteOutputText[] = "Cannot write output file!\n";
const char kInputFaultText[] = "Invalid input file format or bad input file version!\n";
const char kSwitchedOffWarningText[] =
    "\r\nWarning: switched off options(s) not supported for the input file version.\r\n";

std::string bannerText() {
  return "\r\n\r\n- Converter from Ortavi QNV Trace to text file. (v. 6.03.01 - 19/05/2008) -\r\n\r\n";
}

std::string usageText() {
  return "\r\n"
         " Usage: QNVTAB -iFilename -oFilename [-?] [-dDataFormat]\r\n"
         "\r\n"
         " Mandatory:\r\n"
         " -iFilename           Input file name.\r\n"
         "                      Es.: QNVTAB -iTRACE.QNV\r\n"
         " -oFilename           Output file name.\r\n"
         "                      Es.: QNVTAB -oOUTPUT.XLS\r\n"
         "\r\n"
         " Optional:\r\n"
         " -?                   Program help: display program version and usage.\r\n"
         "                      Es.: QNVTAB -?\r\n"
         " -th                  Print trace informative header, i.e. trace start date\r\n"
         "                      and time, first event date and time and trace stop date\r\n"
         "                      and time.\r\n"
         "                      Option available for traces of QNV ver.5.7.x and laters.\r\n"
         "                      By default trace informative header is omitted.\r\n"
         " -dDataFormat         Data format: H (or HEX), A (or ASCII), HA (or HEXASCII).\r\n"
         "                      By default Hexadecimal value are printed.\r\n"
         "                      Es.: QNVTAB -dA\r\n"
         " -ferts               Display time stamps relative to the first traced event.\r\n"
         "                      By default time stamps are relative to the trace\r\n"
         "                      start time.\r\n"
         "                      Option available for traces of QNV ver.5.7.x and laters.\r\n"
         "\n";
}

std::string helpText() {
  return usageText() +
         " Long options:\r\n"
         " --help               Display this help and exit.\r\n"
         " --version            Display the program's version and exit.\r\n"
         " --salvage            Convert every intact block of a damaged trace.\r\n"
         " --threads=N          Convert on N threads (default: one per core).\r\n"
         " --events=FIRST-LAST  Only the events with these numbers; either end may be\r\n"
         "                      left out. Es.: --events=1000000-\r\n"
         " --msec=FROM-TO       Only the events whose Time (msec) cell lies in the\r\n"
         "                      range (it follows -ferts). Es.: --msec=-500-2000\r\n"
         " --begin=TIME         Only the events from TIME on: DD/MM/YYYY HH:MM:SS, or\r\n"
         "                      HH:MM:SS on the day of the first event, or\r\n"
         "                      YYYY-MM-DDTHH:MM:SS[.mmm] (T or a blank), exact to\r\n"
         "                      the millisecond with .mmm.\r\n"
         "                      Es.: \"--begin=19/05/2008 10:20:30\"\r\n"
         " --end=TIME           Only the events up to TIME, its whole second included\r\n"
         "                      unless .mmm is given.\r\n"
         "                      Es.: --end=10:21:00 --end=2008-05-19T10:21:00.500\r\n"
         " --cmd=LIST           Only these commands, as mnemonics or two hexadecimal\r\n"
         "                      digits. Es.: --cmd=SD,RV,33\r\n"
         " --errors             Only the events whose RC is 0xFF (S = I).\r\n"
         " --split=ROWS         A new output file after every ROWS rows: NAME_2.EXT,\r\n"
         "                      NAME_3.EXT, ... Es.: --split=1048575\r\n"
         " --split-interval=N   A new output file for every interval of N seconds\r\n"
         "                      (Nm minutes, Nh hours; at most 24h) of the events'\r\n"
         "                      local time, aligned to midnight; with --split too,\r\n"
         "                      also after every ROWS rows. Es.: --split-interval=1h\r\n"

         " --format=FORMAT      Output: tsv (the table, default), xlsx (a workbook,\r\n"
         "                      a new sheet every 1,048,575 rows), sqlite (a\r\n"
         "                      database with the tables traces, events and losses)\r\n"
         "                      or jsonl (JSON Lines: an object per event, keyed by\r\n"
         "                      the database's column names).\r\n"
         "                      Es.: QNVTAB -iTRACE.QNV -oTRACE.XLSX --format=xlsx\r\n"
         " -i-                  Read the trace from standard input. A trace compressed\r\n"
         "                      whole with gzip, zstd or xz is read as the trace it\r\n"
         "                      holds, also with -iFILE. Es.: QNVTAB -iTRACE.QNV.gz -o-\r\n"
         " -o-                  The table on standard output, the console text on\r\n"
         "                      standard error; not for a workbook, a database or\r\n"
         "                      parts, nor for several traces but as JSON Lines.\r\n"
         "                      A file named - is -o./-.\r\n"
         "                      Es.: QNVTAB -iTRACE.QNV -o- | head -n 20\r\n"
         " --test               Check the whole trace and write nothing (no -o): status\r\n"
         "                      0 when it is sound, as a conversion's otherwise.\r\n"
         " --info[=FORMAT]      A summary of the trace on standard output, as text (the\r\n"
         "                      default), json or tsv (a row of figures per trace);\r\n"
         "                      -o not needed. Es.: --info=json --info=tsv\r\n"
         " --report=FILE        The summary with charts as one HTML page; -o not\r\n"
         "                      needed; one trace only. Es.: --report=TRACE.html\r\n"
         " --                   Every argument after it is a trace: several traces into\r\n"
         "                      the one database -o names (--format=sqlite), or into\r\n"
         "                      the folder -o names as FOLDER/NAME.xls (.xlsx), NAME\r\n"
         "                      the trace's file name without its extension.\r\n"
         "                      Es.: QNVTAB -oFLEET.DB --format=sqlite -- A.QNV B.QNV\r\n"
         " --inputs=LIST        More traces, one path a line, from the file LIST, or\r\n"
         "                      from standard input with -. Es.: --inputs=-\r\n"
         " --append             Add the traces to the database -o names (with\r\n"
         "                      --format=sqlite); a trace already in it is skipped.\r\n"
         "                      Es.: QNVTAB -oFLEET.DB --format=sqlite --append -- C.QNV\r\n"
         " --busy-timeout=SECONDS\r\n"
         "                      How long --append waits for another run's lock on the\r\n"
         "                      database: 0 to 86400 seconds (default 60).\r\n"
         "                      Es.: --busy-timeout=300\r\n";
}

std::string versionText() { return std::string("qnvtab ") + QNVTAB_VERSION + "\n"; }

const char* programVersion() { return QNVTAB_VERSION; }

std::string invalidOptionText(const std::string& argument) {
  return "\r\nQNVTAB: INVALID OPTION '" + argument + "'\r\nUse 'QNVTAB -?' for help.\r\n";
}

std::string completionText(const std::string& inputPath, const std::string& outputPath) {
  return "Conversion from '" + inputPath + "' to '" + outputPath + "' done.\r\n";
}

std::string continuationText(const std::string& partPath) {
  return "Continued in '" + partPath + "'.\r\n";
}

}  // namespace qnvtab
