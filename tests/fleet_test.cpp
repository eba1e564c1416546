// Runs of several traces end to end: each trace in the one database, the
// folder of tables and the summaries as a run of it alone gives it;
// --append that adds nothing twice, outlives kill -9 and shares the
// database with a run beside it; the command lines refused.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "delimited_cells.h"
#include "fleet_fixture.h"
#include "harness.h"
#include "sqlite_rows.h"
#include "table_fixtures.h"

namespace qnvtab {
namespace {

using namespace testing;  // the suite's helpers
using Fleet = FleetTest;
namespace fs = std::filesystem;

// What a trace's rows in the database came to.
struct TraceRows {
  size_t events = 0, errors = 0;
  std::string firstTime = "<null>", lastTime = "<null>";
};

// The rows of `events` for the trace, cell by cell against the table of
// its own run: hex cells as integers, a dump quoted or NULL, the data
// bytes those of the first (hex) dump.
TraceRows expectRowsAreTheTable(sqlite3* db, const std::string& id, const std::string& table) {
  const Rows rows =
      query(db, "SELECT *, quote(data) FROM events WHERE trace_id = " + id + " ORDER BY event");
  DelimitedReader reader(table);
  DelimitedRow cells;
  TraceRows seen;
  EXPECT_EQ(reader.next(cells), !table.empty());  // the title
  for (; seen.events < rows.size() && reader.next(cells); ++seen.events) {
    SCOPED_TRACE("row " + std::to_string(seen.events + 1));
    const Strings& row = rows[seen.events];
    const size_t dumps = row.size() - 19;
    cells.resize(14 + dumps);
    for (size_t column = 0; column < 14; ++column) {
      const std::string& cell = cells[column].text;
      const bool hex = column == 6 || column == 8 || column == 10 || column == 11 || column == 13;
      EXPECT_EQ(row[column],
                hex ? std::to_string(std::stoull("0" + cell.substr(1), nullptr, 16)) : cell);
    }
    for (size_t dump = 0; dump < dumps; ++dump) {
      EXPECT_EQ(row[15 + dump], cells[14 + dump].quoted ? cells[14 + dump].text : "<null>");
    }
    std::string bytes = cells[14].text.substr(0, cells[14].text.rfind(" ..."));
    std::erase(bytes, ' ');
    EXPECT_EQ(row.back(), cells[14].quoted ? "X'" + bytes + "'" : "NULL");
    EXPECT_EQ(row[row.size() - 2], id);
    seen.errors += cells[5].text == "I";
    if (seen.events == 0) seen.firstTime = row[15 + dumps];
    seen.lastTime = row[15 + dumps];
  }
  EXPECT_FALSE(reader.next(cells));
  EXPECT_EQ(seen.events, rows.size());
  return seen;
}

// Each trace's rows, status, counts and sha256 as its own run gives them,
// strict and with --salvage, and the run's console text; then --append of
// the same list, given partly on standard input, adds nothing.
TEST_F(Fleet, DatabaseHoldsEachTraceAsItsOwnRunDoes) {
  for (const Strings& options : {Strings{}, Strings{"--salvage", "-dHA"}}) {
    const bool salvage = !options.empty();
    SCOPED_TRACE(salvage ? "salvage" : "strict");
    TempDir out;
    const std::string db = out.file("F.db");
    const RunResult run = runFleet(with(options, {"--format=sqlite", "-o" + db}), paths());
    const Database database = openDatabase(db);
    const Rows traces =
        query(database.get(),
              "SELECT trace_id, file, name, size, sha256, status, events, errors, "
              "first_time, last_time, salvage, diagnosis FROM traces ORDER BY trace_id");
    std::string out1 = consoleBanner(), err1, out2, err2;
    size_t ends[5] = {}, row = 0;  // by exit status
    for (size_t i = 0; i < entries_.size(); ++i) {
      const Entry& entry = entries_[i];
      SCOPED_TRACE(entry.path);
      const std::string table = out.file(std::to_string(i) + ".xls");
      const RunResult alone = runOne(entry.path, with(options, {"-o" + table}));
      const auto [status, exit] = expectedEnd(entry.kind, salvage);
      const std::string held =
          "qnvtab: note: " + entry.path + ": already in the database as trace ";
      if (entry.kind == TraceKind::Copy) {  // of the first trace
        err1 += held + "1; not added again\n";
        err2 += held + "1; not added again\n";
        continue;
      }
      err1 += alone.err;
      EXPECT_EQ(alone.status, exit);
      ++ends[exit];
      if (entry.kind == TraceKind::Unreadable) {
        out1 += "Cannot open input file!\n";
        out2 += "Cannot open input file!\n";
        err2 += alone.err;
        continue;
      }
      out1 += exit == 1 ? "Invalid input file format or bad input file version!\n"
                        : successText(entry.path, db).substr(consoleBanner().size());
      ASSERT_LT(row, traces.size());
      Strings trace = traces[row++];
      err2 += held + trace[0] + "; not added again\n";
      const TraceRows seen = expectRowsAreTheTable(database.get(), trace[0], readFile(table));
      // Its lines on standard error, hints aside: each incident of a salvage
      // a row of `losses`, the others its diagnosis, without the prefix.
      std::string diagnosis, losses, incidents;
      for (const std::string& line : split(alone.err, "\n")) {
        if (line.empty() || line.rfind("qnvtab: hint: ", 0) == 0) continue;
        if (salvage && exit != 1 && line.find(": salvage: ") == std::string::npos) {
          incidents += line + "\n";
        } else {
          diagnosis += (diagnosis.empty() ? "" : "\n") + line.substr(8);
        }
      }
      for (const Strings& loss :
           query(database.get(),
                 "SELECT reason FROM losses WHERE trace_id = " + trace[0] + " ORDER BY rowid")) {
        losses += "qnvtab: " + entry.path + ": " + loss[0] + "\n";
      }
      EXPECT_EQ(losses, incidents);
      EXPECT_EQ(trace.back(), diagnosis.empty() ? "<null>" : diagnosis);
      trace.pop_back();
      const std::string sha = runShell("sha256sum" + words({path(entry.path)})).out;
      EXPECT_EQ(trace, (Strings{std::to_string(row), entry.path, fs::path(entry.path).filename(),
                                std::to_string(fs::file_size(path(entry.path))), sha.substr(0, 64),
                                status, std::to_string(seen.events), std::to_string(seen.errors),
                                seen.firstTime, seen.lastTime, salvage ? "1" : "0"}));
    }
    EXPECT_EQ(row, traces.size());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, out1);
    EXPECT_EQ(run.err, err1 + fleetLine(entries_.size(), ends[0], ends[3] + ends[4], ends[1], 1));
    expectDeclaredTypes(database.get());

    const char* counts =
        "SELECT (SELECT count(*) FROM traces), (SELECT count(*) FROM events), "
        "(SELECT count(*) FROM losses)";
    const Rows before = query(database.get(), counts);
    const RunResult again = runShell(
        in(folder_->path()) + "printf '%s\\n' ''" + words(paths(0, 5)) + " '' | " +
        fleet(with(options, {"--format=sqlite", "--append", "--inputs=-", "-o" + db}), paths(5)));
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.out, out2);
    EXPECT_EQ(again.err, err2 + fleetLine(entries_.size(), 0, 0, 2, entries_.size() - 2));
    EXPECT_EQ(query(database.get(), counts), before);
  }
}

// Queries by column answer the same on a trace's own database, on a run of
// several given that trace alone, and on a run of the whole list.
TEST_F(Fleet, OneTraceDatabaseAnswersAsTheRunsOfSeveral) {
  TempDir out;
  const Strings options = {"--format=sqlite", "-dA", "-th", "-ferts", "--events=3-"};
  ASSERT_EQ(runFleet(with(options, {"-o" + out.file("all.db")}), paths()).status, 1);
  const Database all = openDatabase(out.file("all.db"));
  const Strings queries = {
      "SELECT cmd, count(*), sum(length), sum(s = 'I') FROM events WHERE trace_id = ? "
      "GROUP BY cmd ORDER BY cmd",
      "SELECT count(*), min(timestamp), max(timestamp), min(timestamp_utc), max(timestamp_utc), "
      "min(time_msec), max(time_msec) FROM events WHERE trace_id = ?",
      "SELECT " + columnsOf(all.get(), "events", {"trace_id"}) +
          " FROM events WHERE trace_id = ? ORDER BY event",
      "SELECT " + columnsOf(all.get(), "traces", {"trace_id", "imported_at"}) +
          " FROM traces WHERE trace_id = ?"};
  const auto ask = [](sqlite3* db, std::string sql, const std::string& id) {
    return query(db, sql.replace(sql.find('?'), 1, id));
  };
  Rows views;  // of each trace's own database
  for (const Entry& entry : entries_) {
    if (entry.kind == TraceKind::Unreadable || entry.kind == TraceKind::Copy) continue;
    SCOPED_TRACE(entry.path);
    const std::string alone = out.file("alone.db"), listed = out.file("listed.db");
    EXPECT_EQ(runOne(entry.path, with(options, {"-o" + alone})).status,
              runFleet(with(options, {"-o" + listed}), {entry.path}).status);
    const Database own = openDatabase(alone), several = openDatabase(listed);
    const std::string id =
        queryValue(all.get(), "SELECT trace_id FROM traces WHERE file = '" + entry.path + "'");
    for (const std::string& sql : queries) {
      SCOPED_TRACE(sql);
      const Rows expected = ask(own.get(), sql, "1");
      EXPECT_TRUE(!expected.empty() || entry.kind != TraceKind::Sound);
      EXPECT_EQ(ask(several.get(), sql, "1"), expected);
      EXPECT_EQ(ask(all.get(), sql, id), expected);
    }
    const Rows ownView = query(own.get(), "SELECT * FROM trace");
    EXPECT_EQ(query(several.get(), "SELECT * FROM trace"), ownView);
    views.insert(views.end(), ownView.begin(), ownView.end());
  }
  EXPECT_EQ(query(all.get(), "SELECT * FROM trace"), views);
}

// Tables of several traces, in parts or not: the files and console text
// of runs of each alone into the folder, byte for byte.
TEST_F(Fleet, FolderHoldsTheTablesOfEachTracesOwnRun) {
  for (const Strings& options : {Strings{}, Strings{"--salvage", "-dA", "--split=100"}}) {
    SCOPED_TRACE(options.size());
    TempDir out;
    const std::string folder = out.file("tables");
    fs::create_directory(folder);
    std::string expectedOut, expectedErr;
    size_t ends[5] = {};  // by exit status
    for (const Entry& entry : entries_) {
      const std::string table = folder + "/" + fs::path(entry.path).stem().string() + ".xls";
      const RunResult run = runOne(entry.path, with(options, {"-o" + table}));
      const bool again = run.out.rfind(consoleBanner(), 0) == 0 && !expectedOut.empty();
      expectedOut += run.out.substr(again ? consoleBanner().size() : 0);  // the banner once
      expectedErr += run.err;
      ++ends[run.status];
    }
    fs::rename(folder, out.file("alone"));
    const RunResult run = runFleet(with(options, {"-o" + folder}), paths());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, expectedOut);
    EXPECT_EQ(run.err,
              expectedErr + fleetLine(entries_.size(), ends[0], ends[3] + ends[4], ends[1], 0));
    const auto expected = filesIn(out.file("alone")), written = filesIn(folder);
    EXPECT_GT(expected.size(), kFleetTraces);
    for (const auto& [name, bytes] : expected) {
      EXPECT_TRUE(written.count(name) == 1 && written.at(name) == bytes) << name;
    }
    EXPECT_EQ(written.size(), expected.size());
  }
}

// The JSON document's value at `pointer` as the TSV row writes it.
std::string field(const nlohmann::json& document, const char* pointer, const char* absent) {
  const nlohmann::json::json_pointer at(pointer);
  if (!document.contains(at) || document[at].is_null()) return absent;
  return document[at].is_string() ? document[at].get<std::string>() : document[at].dump();
}

// --info=tsv: a title, then a row per trace opened, as --info=json, a run
// of the trace alone and the trace's row in a database of the same list
// give it.
TEST_F(Fleet, TsvSummaryRowsAgreeWithTheJsonDocumentsAndTheDatabase) {
  const std::string title =
      "file\tsize\tversion\tstatus\tevents\terrors\tfirst_time\tlast_time\t"
      "span_ms\tblocks\tblocks_lost\tbytes_skipped\n";
  for (const Strings& options : {Strings{}, Strings{"--salvage"}}) {
    SCOPED_TRACE(options.size());
    const RunResult tsv = runFleet(with(options, {"--info=tsv"}), paths());
    const RunResult json = runFleet(with(options, {"--info=json"}), paths());
    TempDir out;
    runFleet(with(options, {"--format=sqlite", "-o" + out.file("F.db")}), paths());
    const Database database = openDatabase(out.file("F.db"));
    const Rows traces = query(database.get(),
                              "SELECT file, size, version, status, events, errors, first_time, "
                              "last_time, blocks, blocks_lost, bytes_skipped FROM traces "
                              "ORDER BY trace_id");
    auto traceRow = traces.begin();
    EXPECT_EQ(tsv.status, 1);
    EXPECT_EQ(json.status, 1);
    const nlohmann::json documents = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(documents.is_array()) << json.out;
    ASSERT_EQ(tsv.out.substr(0, title.size()), title);
    const Strings rows = split(tsv.out.substr(title.size()), "\n");
    ASSERT_EQ(rows.size(), entries_.size() - 1);  // the two unread left out; a last line end
    ASSERT_EQ(documents.size(), rows.size() - 1);
    size_t row = 0;
    for (const Entry& entry : entries_) {
      if (entry.kind == TraceKind::Unreadable) continue;
      SCOPED_TRACE(entry.path);
      const std::string alone = runOne(entry.path, with(options, {"--info=tsv"})).out;
      EXPECT_EQ(alone.substr(std::min(alone.size(), alone.find(title))), title + rows[row] + "\n");
      const nlohmann::json& doc = documents[row];
      Strings cells = split(rows[row++], "\t");
      ASSERT_EQ(cells.size(), 12u);
      const std::string status = expectedEnd(entry.kind, options.size() == 1).first;
      EXPECT_EQ(
          cells,
          (Strings{field(doc, "/file/name", "?"), field(doc, "/file/size", "?"),
                   field(doc, "/trace/version", ""), status, field(doc, "/events/count", "0"),
                   field(doc, "/events/errors", "0"), field(doc, "/events/first_time", ""),
                   field(doc, "/events/last_time", ""), field(doc, "/events/span_ms", "0"),
                   field(doc, "/blocks/count", "?"), field(doc, "/blocks/lost", "0"), cells[11]}));
      EXPECT_EQ(field(doc, "/integrity/sound", "?"), status == "sound" ? "true" : "false");
      if (entry.kind == TraceKind::Copy) continue;  // not added again
      ASSERT_NE(traceRow, traces.end());
      Strings held = *traceRow++;
      for (std::string& cell : held) cell = cell == "<null>" ? "" : cell;
      held.insert(held.begin() + 8, cells[8]);  // span_ms, which the row leaves to queries
      // The row's header columns are those its rows were written under:
      // none for a trace that failed before its first block.
      if (held[3] == "failed" && held[2].empty()) held[2] = cells[2];
      // Times as events.timestamp holds them.
      for (const size_t time : {6, 7}) {
        if (!cells[time].empty()) cells[time][10] = ' ';
      }
      EXPECT_EQ(held, cells);
    }
  }
}

// A sound database of whole traces: each with all its rows, as many as its
// own run writes, and as many losses as `losses` says (if given); no row
// of a trace it does not hold. The number of traces.
size_t expectWholeTraces(sqlite3* db, const std::map<std::string, std::string>& rows,
                         const std::map<std::string, std::string>& losses) {
  EXPECT_EQ(queryValue(db, "PRAGMA integrity_check"), "ok");
  // A file killed before its first commit holds no tables yet.
  if (queryValue(db, "SELECT count(*) FROM sqlite_master") == "0") return 0;
  for (const std::string table : {"events", "losses"}) {
    EXPECT_EQ(queryValue(db, "SELECT count(*) FROM " + table +
                                 " WHERE trace_id NOT IN (SELECT trace_id FROM traces)"),
              "0");
  }
  const Rows traces = query(db,
                            "SELECT file, events, (SELECT count(*) FROM events e WHERE "
                            "e.trace_id = t.trace_id), (SELECT count(*) FROM losses l WHERE "
                            "l.trace_id = t.trace_id) FROM traces t");
  for (const Strings& trace : traces) {
    const auto own = rows.find(trace[0]);
    EXPECT_TRUE(own != rows.end() && trace[1] == own->second && trace[2] == own->second)
        << trace[0] << ": " << trace[1] << " events, " << trace[2] << " rows";
    EXPECT_TRUE(losses.empty() || (losses.count(trace[0]) && losses.at(trace[0]) == trace[3]))
        << trace[0] << ": " << trace[3] << " losses";
  }
  return traces.size();
}

// kill -9, and now and then SIGTERM, at moments spread over --append runs,
// on a new file and on one holding traces: whole traces afterwards, and a
// run again completes it.
TEST_F(Fleet, KilledAppendLeavesWholeTraces) {
  TempDir work;
  const Strings list = paths(0, kFleetTraces);
  const std::string db = work.file("k.db"), base = work.file("base.db");
  const Strings options = {"--format=sqlite", "--append", "--salvage", "-o" + db};
  const auto rows = rowCounts(list, {"--salvage"});
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(runFleet(options, list).status, 4);
  const std::chrono::duration<double> run = std::chrono::steady_clock::now() - started;
  std::map<std::string, std::string> losses;
  for (const Strings& trace : query(openDatabase(db).get(),
                                    "SELECT file, (SELECT count(*) FROM losses l WHERE "
                                    "l.trace_id = t.trace_id) FROM traces t")) {
    losses[trace[0]] = trace[1];
  }
  ASSERT_EQ(losses.size(), list.size());
  fs::remove(db);
  ASSERT_EQ(runFleet(options, paths(0, 3)).status, 0);
  fs::rename(db, base);
  size_t killed = 0;
  for (int moment = 0; moment < 28; ++moment) {
    SCOPED_TRACE("moment " + std::to_string(moment));
    fs::remove(db);
    fs::remove(db + "-journal");
    if (moment % 2 == 1) fs::copy_file(base, db);
    const bool interrupt = moment % 3 == 2;
    const std::string status =
        runShell(in(folder_->path()) + "{ " + fleet(options, list) +
                 " >/dev/null 2>&1 & pid=$!; sleep " +
                 std::to_string(run.count() * 0.7 * moment / 28) + "; kill " +
                 (interrupt ? "-TERM" : "-9") + " $pid 2>/dev/null; wait $pid; echo $?; }")
            .out;
    killed += status == (interrupt ? "143\n" : "137\n");
    if (fileExists(db)) expectWholeTraces(openDatabase(db).get(), rows, losses);
    if (moment % 4 != 3) continue;  // now and then, a run again completes it
    const RunResult again = runFleet(options, list);
    EXPECT_TRUE(again.status == 0 || again.status == 3 || again.status == 4) << again.err;
    EXPECT_EQ(expectWholeTraces(openDatabase(db).get(), rows, losses), list.size());
  }
  // The moments reach to 70% of a run timed under the same load, so that
  // most land before a run ends even when the load eases.
  EXPECT_GE(killed, 18u) << run.count() << " s a run";
}

// Two --append runs at once on one database, their lists overlapping (one
// in a file of CR LF lines): both succeed, and each trace is added by one
// of them.
TEST_F(Fleet, TwoAppendsAtOnceAddEachTraceOnce) {
  const Strings first = paths(0, 6), second = paths(3, 8), both = paths(0, 8);
  const auto rows = rowCounts(both, {});
  for (size_t round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TempDir out;
    const Strings options = {"--format=sqlite", "--append", "-o" + out.file("d.db")};
    const size_t held = round % 2;  // the fifth trace, in a database made before
    if (held == 1) {
      ASSERT_EQ(runFleet(options, paths(4, 5)).status, 0);
    }
    std::string list;
    for (const std::string& trace : first) list += folder_->file(trace) + "\r\n\n";
    writeFile(out.file("list"), builder::Bytes(list.begin(), list.end()));
    const RunResult run = runShell(
        in(folder_->path()) + "{ " + command(with(options, {"--inputs=" + out.file("list")})) +
        " >/dev/null 2>" + words({out.file("1.err")}) + " & a=$!; " + fleet(options, second) +
        " >/dev/null 2>" + words({out.file("2.err")}) +
        " & b=$!; wait $a; echo $?; wait $b; echo $?; }");
    const std::string err = readFile(out.file("1.err")) + readFile(out.file("2.err"));
    EXPECT_EQ(run.out, "0\n0\n") << err;
    std::map<std::string, std::string> listed;  // the first list by absolute path
    for (const std::string& trace : first) listed[folder_->file(trace)] = rows.at(trace);
    for (const std::string& trace : second) listed[trace] = rows.at(trace);
    if (held == 1) listed[paths(4, 5)[0]] = rows.at(paths(4, 5)[0]);
    EXPECT_EQ(expectWholeTraces(openDatabase(out.file("d.db")).get(), listed, {}), both.size());
    EXPECT_EQ(occurrences(err, "; not added again\n"),
              first.size() + second.size() - both.size() + held)
        << err;
  }
}

// The run's status: 1 if any trace failed, else the highest of a salvage
// (4 before 3), else 0; the last line counts the traces. --test writes
// nothing on standard output.
TEST_F(Fleet, StatusIsTheWorstEndOfItsTraces) {
  const std::string sound = kFleetPlans[0].name, flipped = kFleetPlans[8].name,
                    cut = kFleetPlans[9].name;
  const std::tuple<Strings, int, std::string> cases[] = {
      {{sound, kFleetPlans[1].name}, 0, "2 traces: 2 sound, 0 salvaged, 0 failed"},
      {{cut, sound}, 3, "2 traces: 1 sound, 1 salvaged, 0 failed"},
      {{cut, flipped, cut}, 4, "3 traces: 0 sound, 3 salvaged, 0 failed"},
      {{flipped, cut, sound}, 4, "3 traces: 1 sound, 2 salvaged, 0 failed"},
      {{flipped, "notes.txt", cut}, 1, "3 traces: 0 sound, 2 salvaged, 1 failed"},
      {{"missing.qnv", sound}, 1, "2 traces: 1 sound, 0 salvaged, 1 failed"},
      {{cut}, 3, "1 trace: 0 sound, 1 salvaged, 0 failed"}};
  for (const auto& [traces, status, line] : cases) {
    SCOPED_TRACE(line);
    const RunResult run = runFleet({"--test", "--salvage"}, traces);
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(("\n" + run.err).ends_with("\nqnvtab: " + line + "\n")) << run.err;
  }
}

// Command lines refused: the status, the console text, and no file
// written or changed anywhere.
TEST_F(Fleet, RefusedRunsTouchNothing) {
  TempDir work;
  fs::create_directories(work.file("a"));
  fs::create_directories(work.file("b"));
  for (const char* copy : {"a/x.qnv", "b/x.qnv", "x.bin"}) {
    fs::copy_file(path(kFleetPlans[1].name), work.file(copy));
  }
  writeFile(work.file("notdb"), {'n', 'o', '\n'});
  writeFile(work.file("list"), {'a', '/', 'x', '.', 'q', 'n', 'v', '\n'});
  const Strings made = {"-ia/x.qnv", "--format=sqlite"};
  ASSERT_EQ(runQnvtab(with(made, {"-odha.db", "-dHA"}), work.path()).status, 0);
  ASSERT_EQ(runQnvtab(with(made, {"-onewer.db"}), work.path()).status, 0);
  sqlite3_exec(openDatabase(work.file("newer.db")).get(), "PRAGMA user_version = 2", nullptr,
               nullptr, nullptr);
  const auto expectRefused = [&](const Strings& arguments, int status, const std::string& out,
                                 const std::string& err) {
    SCOPED_TRACE(arguments[0] + " " + arguments[2]);
    const auto before = filesIn(work.path());
    const RunResult run = runShell(in(work.path()) + command(arguments));
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.out, out);
    EXPECT_TRUE(matches(run.err, err)) << run.err;
    EXPECT_TRUE(filesIn(work.path()) == before);
  };
  // Before any work.
  const std::pair<Strings, std::string> early[] = {
      {{"-oout", "--", "a/x.qnv", "b/x.qnv"},
       "a/x.qnv and b/x.qnv would both be written to out/x.xls; rename one"},
      {{"-oout", "--format=xlsx", "--", "x.bin", "missing.qnv", "a/x.qnv"},
       "x.bin and a/x.qnv would both be written to out/x.xlsx; rename one"},
      {{"-ox.bin", "--format=sqlite", "--", "a/x.qnv", "x.bin"},
       "x.bin: cannot open: the output is one of the traces"}};
  for (const auto& [arguments, err] : early)
    expectRefused(arguments, 1, "", "qnvtab: " + err + "\n");
  const std::string onlyOne =
      "-i names the one trace of a run; with -- or --inputs the traces are listed there";
  const std::tuple<Strings, std::string, std::string> invalid[] = {
      {{"-ia/x.qnv", "-oout", "--", "b/x.qnv"}, "-ia/x.qnv", onlyOne},
      {{"--inputs=list", "-ib/x.qnv", "-oout.db", "--format=sqlite"}, "-ib/x.qnv", onlyOne},
      {{"-oout", "--append", "--inputs=list"}, "--append", "*"},
      {{"--report=r.html", "--", "a/x.qnv", "b/x.qnv"}, "--report=r.html", "*"}};
  for (const auto& [arguments, argument, err] : invalid) {
    expectRefused(arguments, 2,
                  "\r\nQNVTAB: INVALID OPTION '" + argument + "'\r\nUse 'QNVTAB -?' for help.\r\n",
                  "qnvtab: " + err + "\n");
  }
  // Not a database of ours, of a newer schema, or of rows of other options.
  for (const std::string output : {"notdb", "newer.db", "dha.db"}) {
    const Strings options = {"--append", "--format=sqlite", "-o" + output};
    for (const Strings& traces : {Strings{"-ib/x.qnv"}, Strings{"--", "b/x.qnv", "a/x.qnv"}}) {
      expectRefused(with(options, traces), 1, "Cannot open output file!\n",
                    "qnvtab: " + output + ": cannot add to it: *; left as it is\n");
    }
  }
}

}  // namespace
}  // namespace qnvtab
