// tessaread-scan: decodes module grids with the ECC200 decoder, or runs
// the detector's four attempt kinds on a BMP picture with its debug files.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tools/scan/debug_scan.h"
#include "tools/scan/grid_file.h"
#include "tools/scan/json_text.h"
#include "tools/scan/scan_output.h"

static const char kUsage[] =
    "usage: tessaread-scan [--json] --grid FILE...\n"
    "       tessaread-scan [--json] --debug-dir DIR IMAGE.bmp\n"
    "       tessaread-scan --help\n";

static const char kHelp[] =
    "\n"
    "Decodes Data Matrix (ECC200) symbols with Tessaread's engine.\n"
    "\n"
    "  --grid FILE...   decode module grids. A grid file holds one symbol row\n"
    "                   per line, each module written as 1 (dark), 0 (light)\n"
    "                   or -1 (undecided) followed by a comma, as the detector\n"
    "                   dumps it (\"outt.txt\"). The last comma of a row may be\n"
    "                   missing, CR LF line ends are accepted. The grid's size\n"
    "                   is the file's shape, at most 144 x 144; row 0 is the\n"
    "                   clock-track (top) edge, column 0 the solid (left) edge.\n"
    "                   Prints \"FILE: TEXT (MODE)\" or \"FILE: None\" per file;\n"
    "                   MODE is the last encodation: ASCII, C40, TEXT, X12,\n"
    "                   EDIFACT or B256. Bytes 128-255 of the text are shown\n"
    "                   as ISO-8859-1 characters in UTF-8, control characters\n"
    "                   as \\xNN (--json gives the exact text).\n"
    "\n"
    "  --debug-dir DIR IMAGE.bmp\n"
    "                   run the detector on a 24-bit uncompressed BMP picture\n"
    "                   (bottom-up or top-down) with each of the four attempt\n"
    "                   kinds of the recognition cycle (detector flags 0x88,\n"
    "                   0x108, 0x09, 0x48), with the log, grid text and image\n"
    "                   dumps switched on. Kind N writes \"r.log\", \"outt.txt\"\n"
    "                   and \"out0.bmp\" into DIR/kindN (created as needed).\n"
    "                   Prints \"kindN: TEXT (MODE)\" or \"kindN: None\" per kind.\n"
    "\n"
    "  --json           print one JSON object per line instead: file, decoded,\n"
    "                   text (UTF-8), mode (name or null), mode_code, status\n"
    "                   (the decoder's status number: 0 decoded, 1 size not an\n"
    "                   ECC200 size, 4 uncorrectable, 6 no text, ...), rows,\n"
    "                   cols, corrected (codewords changed by Reed-Solomon\n"
    "                   correction, or null); with --debug-dir also kind and\n"
    "                   detected. A file that cannot be read gives an object\n"
    "                   with an \"error\" member.\n"
    "\n"
    "Exit status: 0 when every input decoded (with --debug-dir: when some\n"
    "kind decoded), 1 when one did not, 2 on a usage error or when a file\n"
    "could not be read or is malformed (the other files are still scanned;\n"
    "each problem is reported on standard error).\n";

struct Options {
    bool json = false;
    bool grid = false;
    bool help = false;
    std::string debugDir;
    bool hasDebugDir = false;
    std::vector<std::string> files;
};

static int usageError(const std::string& message) {
    std::cerr << "tessaread-scan: " << message << '\n' << kUsage;
    return 2;
}

// Returns 0 when the options are usable, else the exit status.
static int parseOptions(int argc, char** argv, Options& o) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            o.files.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--grid") {
            o.grid = true;
        } else if (arg == "--debug-dir") {
            if (i + 1 >= argc) return usageError("--debug-dir needs a directory");
            o.debugDir = argv[++i];
            o.hasDebugDir = true;
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (o.help) return 0;
    if (o.grid == o.hasDebugDir) return usageError("give either --grid or --debug-dir");
    if (o.files.empty()) return usageError(o.grid ? "no grid file given" : "no BMP image given");
    if (o.hasDebugDir && o.files.size() != 1) return usageError("--debug-dir takes one BMP image");
    return 0;
}

static int scanGrids(const Options& o) {
    bool allDecoded = true;
    bool failed = false;
    for (const std::string& file : o.files) {
        ModuleGridFile grid;
        std::string error;
        if (!readGridFile(file, grid, error)) {
            std::cerr << "tessaread-scan: " << file << ": " << error << '\n';
            if (o.json) std::cout << jsonErrorLine(file, error) << '\n';
            failed = true;
            continue;
        }
        ScanResult result = decodeCells(grid.rows, grid.cols, grid.cells.data());
        allDecoded = allDecoded && result.decoded;
        if (o.json) {
            std::cout << jsonLine("\"file\":" + jsonFileName(file) + ",", result) << '\n';
        } else {
            std::cout << plainLine(file, result) << '\n';
        }
    }
    if (failed) return 2;
    return allDecoded ? 0 : 1;
}

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Options o;
    if (int status = parseOptions(argc, argv, o)) return status;
    if (o.help) {
        std::cout << kUsage << kHelp;
        return 0;
    }
    try {
        if (o.grid) return scanGrids(o);
        return runDebugScan(o.debugDir, o.files[0], o.json);
    } catch (const std::bad_alloc&) {
        std::cerr << "tessaread-scan: out of memory\n";
        return 2;
    }
}
