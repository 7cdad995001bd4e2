// xml_bench - reading speed of parameter files against pugixml, and how
// reading time grows with the shape of the text.
//
//   xml_bench [repetitions]
//
// Each side is timed in a process of its own, which makes the text itself
// (the same bytes on both sides), so that neither runs in an allocator state
// the other left behind (a tree kept alive beside the other side's runs
// changes how often freed pages go back to the system, and so what every run
// pays in page faults). A run builds a fresh document from the bytes in
// memory, copying them (XP_ParamIO::readStream from a stream over the bytes;
// pugixml's load_buffer with its default options), and then destroys it.
// Times are the thread's CPU time, best of the runs, because these machines
// are shared; page faults are the mean per run.
#include "XP_Param.h"

#include <pugixml.hpp>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <istream>
#include <sstream>
#include <streambuf>
#include <string>

namespace {

double cpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

long pageFaults()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// An input stream over bytes in memory, without a copy of its own.
class MemoryBuffer : public std::streambuf {
public:
    explicit MemoryBuffer(const std::string& text) : m_text(text) { rewind(); }
    void rewind()
    {
        char* p = const_cast<char*>(m_text.data());
        setg(p, p, p + m_text.size());
    }

private:
    const std::string& m_text;
};

struct Timing {
    double parse = 1e30, total = 1e30;   // best seconds: parse, parse and destroy
    double faults = 0;                   // mean per run
    double megabytes = 0;                // of the text read
};

typedef std::function<std::string()> TextMaker;

// Times build (returns the document) and destroy, after one run not counted.
template <class Build, class Destroy>
Timing timeRuns(int repetitions, Build build, Destroy destroy)
{
    Timing timing;
    long faults = 0;
    for (int i = 0; i <= repetitions; ++i) {
        const long f0 = pageFaults();
        const double t0 = cpuSeconds();
        auto* document = build();
        const double t1 = cpuSeconds();
        destroy(document);
        const double t2 = cpuSeconds();
        if (i == 0) continue;
        faults += pageFaults() - f0;
        if (t1 - t0 < timing.parse) timing.parse = t1 - t0;
        if (t2 - t0 < timing.total) timing.total = t2 - t0;
    }
    timing.faults = static_cast<double>(faults) / repetitions;
    return timing;
}

// With keepFreed the allocator keeps what is freed (no trimming, no mapping
// of large blocks), so that runs pay no page faults and show computing speed.
bool g_keepFreed = false;

// Runs measure in a child process and hands back what it measured.
Timing inChild(const std::function<Timing()>& measure)
{
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid < 0) std::exit(1);
    if (pid == 0) {
        if (g_keepFreed) {
            mallopt(M_MMAP_THRESHOLD, 1 << 30);
            mallopt(M_TRIM_THRESHOLD, 1 << 30);
        }
        const Timing timing = measure();
        const ssize_t written = write(fds[1], &timing, sizeof timing);
        _exit(written == static_cast<ssize_t>(sizeof timing) ? 0 : 1);
    }
    close(fds[1]);
    Timing timing;
    const ssize_t got = read(fds[0], &timing, sizeof timing);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != static_cast<ssize_t>(sizeof timing) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "xml_bench: a measuring process failed\n");
        std::exit(1);
    }
    return timing;
}

Timing timeOurs(const TextMaker& make, int repetitions)
{
    return inChild([&] {
        const std::string text = make();
        MemoryBuffer buffer(text);
        std::istream in(&buffer);
        Timing timing = timeRuns(
            repetitions,
            [&] {
                buffer.rewind();
                in.clear();
                auto* io = new XP_ParamIO;
                io->readStream(in);
                return io;
            },
            [](XP_ParamIO* io) { delete io; });
        timing.megabytes = static_cast<double>(text.size()) / 1e6;
        return timing;
    });
}

Timing timePugi(const TextMaker& make, int repetitions)
{
    return inChild([&] {
        const std::string text = make();
        Timing timing = timeRuns(
            repetitions,
            [&] {
                auto* doc = new pugi::xml_document;
                doc->load_buffer(text.data(), text.size());
                return doc;
            },
            [](pugi::xml_document* doc) { delete doc; });
        timing.megabytes = static_cast<double>(text.size()) / 1e6;
        return timing;
    });
}

// A parameter file of depth 6 as the writer writes it: about 200,000 nodes
// with five short values each. With attributes, each node's first value
// carries one (the writer never writes them; files made elsewhere may).
std::string makeParameterFile(bool attributes)
{
    static const int branching[] = {12, 12, 12, 12, 9};
    unsigned serial = 0;
    std::ostringstream out;
    std::function<void(int, const std::string&)> write = [&](int level, const std::string& name) {
        const std::string tabs(static_cast<std::size_t>(level), '\t');
        out << tabs << '<' << name << ">\n";
        for (int k = 0; k < 5; ++k) {
            const char key = static_cast<char>('a' + k);
            out << tabs << '\t' << '<' << key << (attributes && k == 0 ? " unit=\"mm\"" : "") << '>'
                << (serial++ * 7919u) % 1000u << "</" << key << ">\n";
        }
        if (level < 5)
            for (int c = 0; c < branching[level]; ++c) write(level + 1, "n" + std::to_string(c));
        out << tabs << "</" << name << ">\n";
    };
    write(0, "Parameters");
    return out.str();
}

void compareRows(const char* what, const TextMaker& make, int repetitions)
{
    const Timing ours = timeOurs(make, repetitions);
    const Timing pugi = timePugi(make, repetitions);
    const double mb = ours.megabytes;
    for (int side = 0; side < 2; ++side) {
        const Timing& t = side == 0 ? ours : pugi;
        std::printf("%-34s %-8s %8.1f %7.0f %10.1f %7.0f %10.0f\n", side == 0 ? what : "", side == 0 ? "ours" : "pugixml",
                    t.parse * 1e3, mb / t.parse, t.total * 1e3, mb / t.total, t.faults);
    }
    std::printf("%-34s %-8s %8.2f %7s %10.2f\n", "", "ratio", ours.parse / pugi.parse, "", ours.total / pugi.total);
}

std::string wideNode(int elements)
{
    std::string t = "<r>\n";
    for (int i = 0; i < elements; ++i) t += "\t<k" + std::to_string(i) + ">v</k" + std::to_string(i) + ">\n";
    return t + "</r>\n";
}

std::string siblingNodes(int nodes)
{
    std::string t = "<r>\n";
    for (int i = 0; i < nodes; ++i) t += "\t<n>\n\t\t<k>v</k>\n\t</n>\n";
    return t + "</r>\n";
}

// Each top-level node reopens the root and adds a value of its own.
std::string topLevelNodes(int nodes)
{
    std::string t;
    for (int i = 0; i < nodes; ++i) t += "<r><k" + std::to_string(i) + ">v</k" + std::to_string(i) + "></r>\n";
    return t;
}

std::string deepNodes(int depth, bool sameName)
{
    std::string t;
    for (int i = 0; i < depth; ++i) t += sameName ? "<a>" : "<n" + std::to_string(i % 10) + ">";
    t += "<k>v</k>";
    for (int i = depth; i-- > 0;) t += sameName ? "</a>" : "</n" + std::to_string(i % 10) + ">";
    return t;
}

// Time per item of readStream at two sizes; their ratio stays near 1 when
// reading is linear.
void scalingRow(const char* what, const std::function<std::string(int)>& make, int repetitions)
{
    double perItem[2];
    const int sizes[2] = {10000, 100000};
    for (int i = 0; i < 2; ++i) perItem[i] = timeOurs([&] { return make(sizes[i]); }, repetitions).total / sizes[i];
    std::printf("%-34s %10.1f %10.1f %8.2f\n", what, perItem[0] * 1e9, perItem[1] * 1e9, perItem[1] / perItem[0]);
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 5;
    const TextMaker plain = [] { return makeParameterFile(false); };
    const TextMaker attributed = [] { return makeParameterFile(true); };
    // A comment holding "<" ahead of the file: the same tree, from a text
    // that is not bracket-shaped, so our reader scans it by the rules.
    const TextMaker scanned = [] { return "<!-- a < b -->\n" + makeParameterFile(false); };
    std::printf("parameter file: %.1f MB, best of %d, CPU time\n\n", plain().size() / 1e6, repetitions);
    std::printf("%-34s %-8s %8s %7s %10s %7s %10s\n", "reading a fresh document", "", "parse", "", "+destroy", "",
                "faults");
    std::printf("%-34s %-8s %8s %7s %10s %7s %10s\n", "", "", "ms", "MB/s", "ms", "MB/s", "per run");
    for (const bool keep : {false, true}) {
        g_keepFreed = keep;
        std::printf("%s\n", keep ? "freed memory kept" : "allocator defaults");
        compareRows("  parameter file", plain, repetitions);
        compareRows("  parameter file, comment with <", scanned, repetitions);
        compareRows("  parameter file, value attributes", attributed, repetitions);
    }
    std::printf("(ratio = our time / pugixml's time; the target: parse and destroy of the parameter\n"
                " file with freed memory kept within 1.5)\n\n");

    std::printf("%-34s %10s %10s %8s\n", "scaling: ns per item", "10,000", "100,000", "ratio");
    scalingRow("elements in one node", wideNode, repetitions);
    scalingRow("sibling nodes", siblingNodes, repetitions);
    scalingRow("top-level nodes", topLevelNodes, repetitions);
    scalingRow("nesting depth, names n0..n9", [](int n) { return deepNodes(n, false); }, repetitions);
    scalingRow("nesting depth, one name", [](int n) { return deepNodes(n, true); }, repetitions);
    return 0;
}
