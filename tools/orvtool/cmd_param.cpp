// orvtool param - parameter files: show one as a tree, and get, set, erase,
// extract or compare values and nodes by access path ("Root:Child:key").
#include "orvtool.h"

#include "XP_Param.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

namespace {

const char* const kCommand = "param";

bool canRead(const std::string& path)
{
    std::ifstream in(path);
    return in.is_open();
}

bool canWrite(const std::string& path)
{
    std::ofstream out(path, std::ios::app);
    return out.is_open();
}

int notFound(const std::string& access, const std::string& file)
{
    return orvtool::failure("no value or node '" + access + "' in " + file);
}

// Reads file into io; false (after saying why) when it cannot be read.
bool load(const std::string& file, XP_ParamIO& io)
{
    if (!canRead(file)) {
        orvtool::failure("cannot read " + file + ": " + std::strerror(errno));
        return false;
    }
    io.readFile(file.c_str());
    return true;
}

// A file that held text but gave no tree is something else: writing a tree
// would replace it.
bool holdsOtherText(const XP_ParamIO& io)
{
    const XP_XML_Node& root = io.getTree().getRoot();
    if (!root.getName().empty() || root.elementCount() > 0 || root.nodeCount() > 0) return false;
    return io.getStream().find_first_not_of(" \t\r\n") != std::string::npos;   // the text last read
}

int save(const XP_ParamIO& io, const std::string& file)
{
    if (!canWrite(file)) return orvtool::failure("cannot write " + file + ": " + std::strerror(errno));
    io.writeFile(file.c_str());
    return 0;
}

// Values may hold line breaks and tabs; show them escaped, in quotes.
std::string quoted(const std::string& value)
{
    std::string out = "\"";
    for (unsigned char c : value) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void showTree(const XP_XML_Node& root)
{
    struct Item {
        const XP_XML_Node* node;
        std::size_t depth;
    };
    std::vector<Item> work{{&root, 0}};
    while (!work.empty()) {
        const Item item = work.back();
        work.pop_back();
        const std::string indent(item.depth * 2, ' ');
        const std::string& name = item.node->getName();
        std::printf("%s%s\n", indent.c_str(), name.empty() ? "(no name)" : name.c_str());
        for (auto e = item.node->beginElements(); e != item.node->endElements(); ++e)
            std::printf("%s  %s = %s\n", indent.c_str(), e->first.c_str(), quoted(e->second.value).c_str());
        for (auto c = item.node->endNodes(); c != item.node->beginNodes();) work.push_back({--c, item.depth + 1});
    }
}

int get(const std::string& file, const std::string& access)
{
    XP_ParamIO io;
    if (!load(file, io)) return 1;
    XP_XML_Param_Notify::Path path;
    XP_ParamIO::parseAccess(access.c_str(), path);
    if (path.empty()) return notFound(access, file);
    XP_XML_Param_Notify::Path holderPath(path.begin(), path.end() - 1);
    if (XP_XML_Node::ConstNodeIterator holder = io.getTree().getNode(holderPath)) {
        if (const XP_Element* e = holder->findElement(path.back())) {
            std::fwrite(e->value.data(), 1, e->value.size(), stdout);
            std::fputc('\n', stdout);
            return 0;
        }
    }
    XP_ParamIO part;
    if (!io.extract(access.c_str(), part)) return notFound(access, file);
    part.writeStream(std::cout);
    return 0;
}

int set(const std::string& file, const std::string& access, const std::string& value)
{
    XP_ParamIO io;
    if (canRead(file)) {
        io.readFile(file.c_str());
        if (holdsOtherText(io)) return orvtool::failure(file + " is not a parameter file; it is left as it was");
    }
    XP_XML_Param_Notify::Path path;
    XP_ParamIO::parseAccess(access.c_str(), path);
    if (path.size() < 2) return orvtool::usageError(kCommand, "the access needs the root's name and a key");
    XP_XML_Node& root = io.getTree().getRoot();
    if (root.getName().empty() && root.elementCount() == 0 && root.nodeCount() == 0)
        root.set(path.front(), "", nullptr);
    if (root.getName() != path.front())
        return orvtool::failure("'" + path.front() + "' is not the root of " + file + " (the root is '" + root.getName() + "')");
    XP_XML_Node* node = &root;
    for (std::size_t i = 1; i + 1 < path.size(); ++i) {
        XP_XML_Node* child = node->findNode(path[i]);
        node = child ? child : node->addNode(path[i], "");
    }
    node->addElement(path.back(), value, "");
    return save(io, file);
}

int erase(const std::string& file, const std::string& access)
{
    XP_ParamIO io;
    if (!load(file, io)) return 1;
    if (!io.erase(access.c_str())) return notFound(access, file);
    return save(io, file);
}

int extract(const std::string& file, const std::string& access, const std::string* out)
{
    XP_ParamIO io, part;
    if (!load(file, io)) return 1;
    if (!io.extract(access.c_str(), part)) return notFound(access, file);
    if (out) return save(part, *out);
    part.writeStream(std::cout);
    return 0;
}

int compare(const std::string& file, const std::string& other, const std::string& access)
{
    XP_ParamIO a, b;
    if (!load(file, a) || !load(other, b)) return 1;
    const bool equal = a.compare(b, access.c_str());
    std::printf("%s\n", equal ? "equal" : "different");
    return equal ? 0 : 1;
}

int run(const orvtool::Args& args)
{
    if (args.size() == 1) {
        XP_ParamIO io;
        if (!load(args[0], io)) return 1;
        showTree(io.getTree().getRoot());
        return 0;
    }
    if (args.empty()) return orvtool::usageError(kCommand, "no file given");
    const std::string& sub = args[0];
    const std::size_t n = args.size();
    if (sub == "get" && n == 3) return get(args[1], args[2]);
    if (sub == "set" && n == 4) return set(args[1], args[2], args[3]);
    if (sub == "erase" && n == 3) return erase(args[1], args[2]);
    if (sub == "extract" && (n == 3 || n == 4)) return extract(args[1], args[2], n == 4 ? &args[3] : nullptr);
    if (sub == "compare" && (n == 3 || n == 4)) return compare(args[1], args[2], n == 4 ? args[3] : "");
    return orvtool::usageError(kCommand, "unknown form of 'param " + sub + "'");
}

}  // namespace

ORVTOOL_COMMAND(param, "param",
                "param FILE\nparam get FILE ACCESS\nparam set FILE ACCESS VALUE\nparam erase FILE ACCESS\n"
                "param extract FILE ACCESS [OUT]\nparam compare FILE OTHER [ACCESS]",
                "show a parameter file as a tree; get, set, erase, extract or compare by access path",
                "param module.xml\nparam get module.xml Module:Window:width\nparam set module.xml Module:Window:width 640\n"
                "param erase module.xml Module:Window:width\nparam extract module.xml Module:Window window.xml\n"
                "param compare module.xml backup.xml Module:Window",
                run);
