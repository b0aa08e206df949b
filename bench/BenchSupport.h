#pragma once

// Small helpers shared by the benchmark programs: percentiles, CPU time of a
// process, and a window of our own on the X desktop.

#include <xcb/xcb.h>

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace aimset::bench {

// The value below which the fraction p of the samples lie (sorted in place).
double percentile(std::vector<double>& samples, double p);

// CPU time a process has used so far, in nanoseconds: the scheduler's own
// count (/proc/PID/schedstat) where there is one, else utime + stime.
std::optional<std::uint64_t> cpuNanoseconds(qint64 pid);

// Resident memory of a process in kB: VmRSS from /proc/PID/status and PSS
// (each shared page divided among its users) from /proc/PID/smaps_rollup.
struct Memory {
    std::optional<std::uint64_t> rssKB;
    std::optional<std::uint64_t> pssKB;
};
Memory memoryOf(qint64 pid);

// A plain top-level window with a class and a title, mapped and made the
// active window. Lives as long as the connection it is made on.
struct BenchWindow {
    xcb_window_t id = 0;
};
std::optional<BenchWindow> openActiveWindow(xcb_connection_t* c, const QByteArray& instance,
                                            const QByteArray& windowClass, const QString& title);

xcb_atom_t internAtom(xcb_connection_t* c, const char* name);
std::optional<xcb_window_t> activeWindow(xcb_connection_t* c);

} // namespace aimset::bench
