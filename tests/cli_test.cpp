// The command line, the console texts, the exit status and the files of a
// run, through the real binary.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"
#include "writer/trace_writer.h"

namespace qnvtab {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::runQnvtab;
using testing::runShell;
using testing::RunResult;
using testing::successText;
using testing::TempDir;
using testing::writeFile;

const std::string kBanner =
    "\r\n\r\n- Converter from Ortavi QNV Trace to text file. (v. 6.03.01 - 19/05/2008) -\r\n\r\n";

const std::string kUsage =
    "\r\n"
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

const std::string kCannotOpenInput = "Cannot open input file!\n";
const std::string kCannotOpenOutput = "Cannot open output file!\n";
const std::string kCannotWriteOutput = "Cannot write output file!\n";
const std::string kSwitchedOff =
    "\r\nWarning: switched off options(s) not supported for the input file version.\r\n";

std::string invalidOption(const std::string& argument) {
  return "\r\nQNVTAB: INVALID OPTION '" + argument + "'\r\nUse 'QNVTAB -?' for help.\r\n";
}

// One line on standard error, "qnvtab: " and a reason.
bool isDiagnosis(const std::string& err) {
  return err.rfind("qnvtab: ", 0) == 0 && err.back() == '\n' && err.find('\n') == err.size() - 1;
}

bool isEmptyDirectory(const std::string& path) { return std::filesystem::is_empty(path); }

// A small trace of a few blocks, every event complete.
builder::Bytes traceBytes(unsigned version, unsigned dataLength = 0xFFFFFFFF) {
  std::vector<builder::EventSpec> events(6);
  for (size_t i = 0; i < events.size(); ++i) {
    events[i].timeStamp = 1000 + 250 * static_cast<uint32_t>(i);
    events[i].cmd = static_cast<uint8_t>(0x20 + i);
    events[i].data = {'Q', 'N', 'V', static_cast<uint8_t>(i)};
  }
  builder::TraceSpec plan;
  plan.header.version = version;
  plan.blockSize = 64;
  builder::Trace trace = builder::buildTrace(plan, builder::encodeEvents(events, version));
  if (dataLength != 0xFFFFFFFF) builder::setFooter(trace, plan.blockSize, 0, dataLength);
  return trace.bytes;
}

std::string writeTrace(const TempDir& dir, const std::string& name = "trace.qnv",
                       unsigned version = 8) {
  const std::string path = dir.file(name);
  writeFile(path, traceBytes(version));
  return path;
}

RunResult convert(const std::string& input, const std::string& output,
                  const std::vector<std::string>& options = {}) {
  std::vector<std::string> arguments{"-i" + input, "-o" + output};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return runQnvtab(arguments);
}

TEST(CliOptions, NoArgumentsShowsUsage) {
  const RunResult run = runQnvtab({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + kUsage);
  EXPECT_EQ(run.err, "");
}

// Usage is shown and no file is opened, also when both paths were given;
// the first of -? and an invalid option decides.
TEST(CliOptions, HelpBeforeAnyInvalidOption) {
  const std::vector<std::vector<std::string>> helps = {{"-itrace.qnv", "-oout.xls", "-?"},
                                                       {"-?", "-x"},
                                                       {"-th", "-?", "-dHX"},
                                                       {"-itrace.qnv"},
                                                       {"-oout.xls", "-th"}};
  for (const auto& arguments : helps) {
    TempDir work;
    writeTrace(work);
    const RunResult run = runQnvtab(arguments, work.path());
    EXPECT_EQ(run.status, 1) << arguments[0];
    EXPECT_EQ(run.out, kBanner + kUsage) << arguments[0];
    EXPECT_FALSE(fileExists(work.file("out.xls")));
  }
  TempDir work;
  const RunResult run = runQnvtab({"-x", "-?"}, work.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, invalidOption("-x"));
}

TEST(CliOptions, InvalidOptionsEchoedInFull) {
  const std::string longArgument = "-z" + std::string(320, 'L') + "%s";
  const std::vector<std::string> arguments = {"-d",
                                              "-D",
                                              "-dHX",
                                              "-thx",
                                              "-Thx",
                                              "-x",
                                              "-fert",
                                              "100%s%d%n%%",
                                              "two words",
                                              "",
                                              longArgument,
                                              "--events=abc",
                                              "--split=0",
                                              "--cmd=ZZ",
                                              "--msec=1-2-3",
                                              "--begin=29/02/2009 10:00:00",
                                              "--split-interval=0",
                                              "--split-interval=25h",
                                              "--end=2008-05-19T10:21:00.1234"};
  // A bare name is most often a path that lost its option letter.
  const std::string hint =
      "qnvtab: hint: -iFILE takes the path without a blank; several traces follow --, e.g. "
      "qnvtab -oOUT -- A.QNV B.QNV\n";
  for (const std::string& argument : arguments) {
    TempDir work;
    const RunResult run = runQnvtab({"-iin.qnv", "-oout.xls", argument, "-?"}, work.path());
    EXPECT_EQ(run.status, 2) << argument;
    EXPECT_EQ(run.out, invalidOption(argument)) << argument;
    const bool bareName = !argument.empty() && argument[0] != '-';
    EXPECT_EQ(run.err, bareName ? hint : "") << argument;
    EXPECT_TRUE(isEmptyDirectory(work.path())) << argument;
  }
}

// "-i TRACE.QNV": an empty input path, then an argument that is no option.
TEST(CliOptions, PathAsSeparateWordIsInvalid) {
  TempDir work;
  writeTrace(work, "TRACE.QNV");
  const RunResult run = runQnvtab({"-i", "TRACE.QNV", "-oout.xls"}, work.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, invalidOption("TRACE.QNV"));
  EXPECT_FALSE(fileExists(work.file("out.xls")));
}

TEST(CliOptions, OptionsIgnoreCase) {
  TempDir work;
  const std::string trace = writeTrace(work, "trace.qnv", 7);
  const RunResult upper = runQnvtab(
      {"-I" + trace, "-O" + work.file("upper.xls"), "-TH", "-Ferts", "-dhexascii", "-dAh"});
  EXPECT_EQ(upper.status, 0);
  EXPECT_EQ(upper.out, successText(trace, work.file("upper.xls")));
  const RunResult lower = convert(trace, work.file("lower.xls"), {"-th", "-ferts", "-dha"});
  EXPECT_EQ(lower.status, 0);

  const std::string table = readFile(work.file("upper.xls"));
  EXPECT_EQ(table, readFile(work.file("lower.xls")));
  EXPECT_EQ(table.rfind("Start Date", 0), 0u) << table;                   // -TH
  EXPECT_NE(table.find("\"BufferContent (Ascii)\""), std::string::npos);  // -dAh
  // -Ferts: times count from the first event (stamp 1000), not from 0.
  EXPECT_NE(table.find("\r\n1\t0\t"), std::string::npos) << table;
}

TEST(CliOptions, LaterPathReplacesEarlierOne) {
  TempDir work;
  writeTrace(work);
  const RunResult run =
      runQnvtab({"-imissing.qnv", "-oA.xls", "-itrace.qnv", "-oB.xls"}, work.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, successText("trace.qnv", "B.xls"));
  EXPECT_FALSE(fileExists(work.file("A.xls")));
  EXPECT_NE(readFile(work.file("B.xls")), "");
}

// --help and --version answer with status 0 and create no file; -? is
// unchanged, and any other long option is invalid.
TEST(CliOptions, HelpAndVersion) {
  const std::string longOptions =
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
  // Every line fits a console of 80 columns and ends in CR LF.
  for (size_t start = 0; start < longOptions.size();) {
    const size_t end = longOptions.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << longOptions.substr(start);
    EXPECT_LE(end - start, 80u) << longOptions.substr(start, end - start);
    EXPECT_EQ(longOptions.substr(start, end - start).find('\n'), std::string::npos);
    start = end + 2;
  }
  const std::vector<std::vector<std::string>> helps = {
      {"--help"}, {"--HELP"}, {"-iA", "-oB", "--Help"}, {"--help", "-x"}};
  for (const auto& arguments : helps) {
    TempDir work;
    const RunResult run = runQnvtab(arguments, work.path());
    EXPECT_EQ(run.status, 0) << arguments[0];
    EXPECT_EQ(run.out, kBanner + kUsage + longOptions);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(isEmptyDirectory(work.path()));
  }
  for (const char* version : {"--version", "--VERSION"}) {
    const RunResult run = runQnvtab({version, "-x"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "qnvtab 1.0.0\n");
  }
  EXPECT_EQ(runQnvtab({"-?", "--help"}).out, kBanner + kUsage);
  for (const std::string invalid :
       {"---", "--hel", "--helpx", "--help=", "--version=1", "--nonsense", "---help", "--threads",
        "--threads=", "--threads=0", "--threads=1025", "--threads=-2", "--threads=2x",
        "--threads=00001"}) {
    const RunResult run = runQnvtab({invalid, "--help"});
    EXPECT_EQ(run.status, 2) << invalid;
    EXPECT_EQ(run.out, invalidOption(invalid));
  }
}

TEST(CliConsole, SuccessAndSwitchedOffWarning) {
  struct Case {
    unsigned version;
    std::vector<std::string> options;
    bool warning;
  };
  const Case cases[] = {
      {8, {}, false},        {8, {"-th", "-ferts"}, false}, {7, {"-th", "-ferts"}, false},
      {6, {}, false},        {6, {"-dA"}, false},           {6, {"-th"}, true},
      {6, {"-ferts"}, true}, {6, {"-th", "-ferts"}, true},  {5, {"-th", "-th"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    TempDir work;
    const std::string trace = writeTrace(work, "trace.qnv", c.version);
    const RunResult plain = convert(trace, work.file("plain.xls"));
    const RunResult run = convert(trace, work.file("out.xls"), c.options);
    EXPECT_EQ(run.status, 0) << c.version;
    EXPECT_EQ(run.out, successText(trace, work.file("out.xls")) + (c.warning ? kSwitchedOff : ""))
        << c.version;
    EXPECT_EQ(run.err, "");
    // The switched-off options leave no trace in the table.
    if (c.warning) {
      EXPECT_EQ(readFile(work.file("out.xls")), readFile(work.file("plain.xls")));
    }
  }
}

TEST(CliFiles, InputCannotBeOpened) {
  TempDir work;
  std::filesystem::create_directory(work.file("folder"));
  for (const std::string& input : {work.file("missing.qnv"), work.file("folder"), std::string()}) {
    const RunResult run = convert(input, work.file("out.xls"));
    EXPECT_EQ(run.status, 1) << input;
    EXPECT_EQ(run.out, kCannotOpenInput) << input;
    EXPECT_TRUE(run.err.empty() || isDiagnosis(run.err)) << run.err;
    EXPECT_FALSE(fileExists(work.file("out.xls"))) << input;
  }
}

// Nothing is ever written to the input, so a read-only trace converts. The
// tests may run as root, who could write anyway: the bytes tell.
TEST(CliFiles, ReadOnlyInputConverts) {
  TempDir work;
  const std::string trace = writeTrace(work);
  const std::string before = readFile(trace);
  ASSERT_EQ(::chmod(trace.c_str(), 0444), 0);
  const RunResult run = convert(trace, work.file("out.xls"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, successText(trace, work.file("out.xls")));
  EXPECT_EQ(readFile(trace), before);
  struct stat info;
  ASSERT_EQ(::stat(trace.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u);
  EXPECT_NE(readFile(work.file("out.xls")), "");
}

TEST(CliFiles, OutputCannotBeOpened) {
  TempDir work;
  const std::string trace = writeTrace(work);
  std::filesystem::create_directory(work.file("folder"));
  for (const std::string& output :
       {work.file("missing/out.xls"), work.file("folder"), work.file("folder/"), std::string()}) {
    const RunResult run = convert(trace, output);
    EXPECT_EQ(run.status, 1) << output;
    EXPECT_EQ(run.out, kCannotOpenOutput) << output;
    EXPECT_TRUE(run.err.empty() || isDiagnosis(run.err)) << run.err;
  }
  EXPECT_FALSE(fileExists(work.file("missing")));
  EXPECT_TRUE(isEmptyDirectory(work.file("folder")));
}

// Writing the table over its own input would destroy the trace before it
// is read, whatever name the output is given.
TEST(CliFiles, OutputSameAsInputRefused) {
  TempDir work;
  const std::string trace = writeTrace(work);
  const std::string before = readFile(trace);
  ASSERT_EQ(::symlink(trace.c_str(), work.file("symbolic.xls").c_str()), 0);
  ASSERT_EQ(::link(trace.c_str(), work.file("hard.xls").c_str()), 0);
  const std::vector<std::vector<std::string>> runs = {
      {"-itrace.qnv", "-otrace.qnv"}, {"-itrace.qnv", "-o./trace.qnv"},
      {"-itrace.qnv", "-o" + trace},  {"-itrace.qnv", "-osymbolic.xls"},
      {"-ihard.xls", "-otrace.qnv"},  {"-isymbolic.xls", "-ohard.xls"},
  };
  for (const auto& arguments : runs) {
    const RunResult run = runQnvtab(arguments, work.path());
    EXPECT_EQ(run.status, 1) << arguments[1];
    EXPECT_EQ(run.out, kCannotOpenOutput) << arguments[1];
    EXPECT_TRUE(run.err.empty() || isDiagnosis(run.err)) << run.err;
    ASSERT_EQ(readFile(trace), before) << arguments[1];
  }
}

// A full disk: no banner, no completion message, status 1.
TEST(CliFiles, WriteFailureIsAFailure) {
  if (!fileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir work;
  const std::string withRows = writeTrace(work);
  const std::string headerOnly = work.file("empty.qnv");
  writeFile(headerOnly, traceBytes(8, 0));
  for (const std::string& trace : {withRows, headerOnly}) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, std::vector<std::string>{"-th", "-dHA"}}) {
      const RunResult run = convert(trace, "/dev/full", options);
      EXPECT_EQ(run.status, 1) << trace;
      EXPECT_EQ(run.out, kCannotWriteOutput) << trace;
      EXPECT_TRUE(isDiagnosis(run.err)) << run.err;
    }
  }
}

// The console text is part of the result: a success whose banner cannot be
// written is a failure.
TEST(CliFiles, ConsoleWriteFailureIsAFailure) {
  if (!fileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir work;
  const std::string trace = writeTrace(work);
  const RunResult run = runShell("exec \"$QNVTAB\" '-i" + trace + "' '-o" + work.file("t.xls") +
                                 "' >/dev/full");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "qnvtab: cannot write to standard output: No space left on device\n");
  EXPECT_NE(readFile(work.file("t.xls")), "");
}

// Out of memory is the machine's fault, not the input's. Under a tight
// address space limit the loader or the C++ runtime may fail before the
// program runs; from the first limit at which it runs on, every run either
// converts or says that memory is short (the workbook's and the database's
// libraries take some 8 MB of address space to load).
TEST(CliFiles, OutOfMemoryIsToldApart) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address space limit";
#else
  TempDir work;
  const std::string trace = writeTrace(work);
  const std::string table = work.file("t.xls");
  int outOfMemory = 0;
  int converted = 0;
  for (int kib = 8000; kib <= 20000; kib += 250) {
    const RunResult run = runShell("ulimit -v " + std::to_string(kib) + "; exec \"$QNVTAB\" '-i" +
                                   trace + "' '-o" + table + "'");
    const bool saysOutOfMemory = run.status == 1 && run.out.empty() &&
                                 run.err.rfind("qnvtab: out of memory: ", 0) == 0;
    if (run.status == 0) {
      EXPECT_EQ(run.out, successText(trace, table)) << kib;
      ++converted;
    } else if (saysOutOfMemory) {
      ++outOfMemory;
    } else {
      EXPECT_EQ(outOfMemory + converted, 0) << kib << ": status " << run.status << run.err;
    }
  }
  EXPECT_GT(outOfMemory, 0);
  EXPECT_GT(converted, 0);
#endif
}

// Paths are used and shown in full: cutting them would name other files.
TEST(CliFiles, LongPathsUsedInFull) {
  TempDir work;
  const std::string folder = work.file(std::string(100, 'd')) + "/" + std::string(100, 'e');
  std::filesystem::create_directories(folder);
  const auto pathOf = [&](char fill, size_t length) {
    std::string path = folder + "/";
    return path + std::string(length - path.size(), fill);
  };
  const std::string input = pathOf('i', 300);
  const std::string output = pathOf('o', 310);
  writeFile(input, traceBytes(8));
  const RunResult run = convert(input, output);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, successText(input, output));
  EXPECT_NE(readFile(output), "");
  EXPECT_FALSE(fileExists(output.substr(0, 260)));

  const RunResult missing = convert(input + "x", output);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, kCannotOpenInput);
}

}  // namespace
}  // namespace qnvtab
