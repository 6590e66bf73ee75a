// The stores' writes to their write-ahead logs, gathered into one system
// call per commit.
//
// SQLite writes each page of a commit to the log as two writes, the frame's
// 24-byte header and then the page, one after the other. A contact's save
// is a few pages, so most of its cost was the system calls that carry them.
// The "vardel" file layer (an SQLite VFS over the system's own) keeps the
// writes to a log that follow one another in memory and hands them to the
// system as one write:
// - when the page of a commit's last frame (the one whose header gives the
//   database's size) has been added, so that a commit is in the file, as
//   far as this process can make it, before SQLite makes it visible and
//   returns;
// - before any other call on the log (a read, a sync, a truncation, its
//   size), so that SQLite never sees the file without what it wrote;
// - when a write does not follow the ones held, and when 96 KiB are held.
// A write the system refuses fails the call that handed it over, which in
// SQLite fails the commit, as the write itself would have.
//
// Files other than logs go straight to the system's layer.
#pragma once

namespace vardel::sql {

// The name of the file layer, registered on first use ("vardel").
const char* log_writes_vfs();

// System calls made to write to logs since the process began (for tests and
// benchmarks), and writes SQLite made to them.
struct LogWriteCounts {
  long system_writes = 0;
  long sqlite_writes = 0;
};
LogWriteCounts log_write_counts();

}  // namespace vardel::sql
