// tessaread-scan: reads Data Matrix symbols in image files with the
// recognition cycle of the camera program, decodes module grids with the
// ECC200 decoder, or runs the detector's four attempt kinds on a picture
// with its debug files.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/scan/debug_scan.h"
#include "tools/scan/grid_file.h"
#include "tools/scan/image_scan.h"
#include "tools/scan/json_text.h"
#include "tools/scan/scan_output.h"
#include "tools/scan/thorough_scan.h"

static const char kUsage[] =
    "usage: tessaread-scan [--json] [--cycle] [--trace] IMAGE...\n"
    "       tessaread-scan [--json] --thorough [--debug-dir DIR] IMAGE...\n"
    "       tessaread-scan [--json] --grid FILE...\n"
    "       tessaread-scan [--json] [--trace] --debug-dir DIR IMAGE\n"
    "       tessaread-scan --help\n";

static const char kHelp[] =
    "\n"
    "Reads Data Matrix (ECC200) symbols with Tessaread's engine.\n"
    "\n"
    "  IMAGE...         read each picture (BMP, PNG, JPEG, PPM or PGM; grey\n"
    "                   and 32-bit pictures are taken as 24-bit colour) as\n"
    "                   the camera program reads a grabbed frame: one\n"
    "                   recognition cycle, and when its line is None one more\n"
    "                   cycle, which uses the other two detector settings, so\n"
    "                   that all four have been tried. Prints\n"
    "                   \"FILE: TEXT (MODE)\" or \"FILE: None\" per file; MODE is\n"
    "                   the last encodation: ASCII, C40, TEXT, X12, EDIFACT or\n"
    "                   B256. Bytes 128-255 of the text are shown as ISO-8859-1\n"
    "                   characters in UTF-8, control characters as \\xNN\n"
    "                   (--json gives the exact text).\n"
    "\n"
    "  --cycle          take the pictures as successive camera frames: exactly\n"
    "                   one cycle per picture, the choice of detector settings\n"
    "                   carried from one frame to the next as in the program,\n"
    "                   and each result line printed as the program shows it\n"
    "                   (\"Y.M.D h:m:s:ms - TEXT (MODE)\" or \"... - None\"), its\n"
    "                   text shown as above. A file that cannot be read is\n"
    "                   no frame: it gets no line and no cycle.\n"
    "\n"
    "  --thorough       read each picture thoroughly: the four detector\n"
    "                   settings of the two cycles first, and when they fail,\n"
    "                   prepared pictures (enlarged and binarised by local\n"
    "                   mean, cropped to finder candidates, blurred, reduced,\n"
    "                   transposed, inverted) and the decoder's extensions\n"
    "                   (more than 200 data codewords, FNC1, macros, reader\n"
    "                   programming, ECI) in a fixed order until one decodes.\n"
    "                   The text is shown as UTF-8 (converted as an ECI says).\n"
    "                   Deterministic: no time limit. With --json also step\n"
    "                   (what decoded: cycle, extensions or a preparation),\n"
    "                   attempts (detector runs), gs1, eci, reader_programming,\n"
    "                   macro, bytes (the decoded bytes as code points\n"
    "                   U+0000-U+00FF) and length. With --debug-dir DIR (one\n"
    "                   IMAGE) every prepared picture is written into DIR as\n"
    "                   NN-STEP.bmp.\n"
    "\n"
    "  --trace          write the stage trace (\"Start 1 started...\", ...\n"
    "                   \"processed in N sec.\") to standard error.\n"
    "\n"
    "  --grid FILE...   decode module grids. A grid file holds one symbol row\n"
    "                   per line, each module written as 1 (dark), 0 (light)\n"
    "                   or -1 (undecided) followed by a comma, as the detector\n"
    "                   dumps it (\"outt.txt\"). The last comma of a row may be\n"
    "                   missing, CR LF line ends are accepted. The grid's size\n"
    "                   is the file's shape, at most 144 x 144; row 0 is the\n"
    "                   clock-track (top) edge, column 0 the solid (left) edge.\n"
    "\n"
    "  --debug-dir DIR IMAGE\n"
    "                   run the detector on one picture with each of the four\n"
    "                   attempt kinds of the recognition cycle (detector flags\n"
    "                   0x88, 0x108, 0x09, 0x48), with the log, grid text and\n"
    "                   image dumps switched on. Kind N writes \"r.log\",\n"
    "                   \"outt.txt\" and \"out0.bmp\" into DIR/kindN (created as\n"
    "                   needed). Prints \"kindN: TEXT (MODE)\" or \"kindN: None\".\n"
    "\n"
    "  --json           print one JSON object per line instead: file, decoded,\n"
    "                   text (UTF-8), mode (name or null), mode_code, rows,\n"
    "                   cols; for pictures also kind (the attempt kind that\n"
    "                   decoded, 0-3), cycles, ms (recognition time of the\n"
    "                   cycles in milliseconds, reading the file excluded) and\n"
    "                   line (the last result line); for grids status (the\n"
    "                   decoder's status: 0 decoded, 1 size not an ECC200\n"
    "                   size, 4 uncorrectable, 6 no text, ...) and corrected\n"
    "                   (codewords changed by Reed-Solomon correction); with\n"
    "                   --debug-dir also kind and detected. A file that cannot\n"
    "                   be read gives an object with an \"error\" member.\n"
    "\n"
    "Pictures larger than 1280 x 960 get a frame buffer of their own size,\n"
    "up to 67108864 pixels (8192 x 8192).\n"
    "\n"
    "Exit status: 0 when every input decoded (with --debug-dir: when some\n"
    "kind decoded), 1 when one did not, 2 on a usage error or when a file\n"
    "is missing, unreadable, truncated or not a supported picture (the other\n"
    "files are still scanned; each problem is one line on standard error).\n";

struct Options {
    bool json = false;
    bool grid = false;
    bool cycle = false;
    bool trace = false;
    bool thorough = false;
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
        } else if (arg == "--cycle") {
            o.cycle = true;
        } else if (arg == "--thorough") {
            o.thorough = true;
        } else if (arg == "--trace") {
            o.trace = true;
        } else if (arg == "--debug-dir") {
            if (i + 1 >= argc) return usageError("--debug-dir needs a directory");
            o.debugDir = argv[++i];
            o.hasDebugDir = true;
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (o.help) return 0;
    if (o.grid && o.hasDebugDir) return usageError("give --grid or --debug-dir, not both");
    if (o.cycle && (o.grid || o.hasDebugDir)) return usageError("--cycle reads pictures only");
    if (o.thorough && (o.grid || o.cycle)) return usageError("--thorough reads pictures, one at a time");
    if (o.files.empty()) return usageError(o.grid ? "no grid file given" : "no image given");
    if (o.hasDebugDir && o.files.size() != 1) return usageError("--debug-dir takes one image");
    return 0;
}

static void traceToStderr(const char* text, void*) { std::cerr << text; }

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
    // The stage trace goes to the debugger channel in the program.
    if (o.trace) setDebugSink(traceToStderr, nullptr);
    try {
        if (o.grid) return scanGrids(o);
        if (o.thorough) return scanThoroughly(o.files, o.json, o.debugDir);
        if (o.hasDebugDir) return runDebugScan(o.debugDir, o.files[0], o.json);
        ImageScanOptions scan;
        scan.json = o.json;
        scan.cycle = o.cycle;
        return scanImageFiles(o.files, scan);
    } catch (const std::bad_alloc&) {
        std::cerr << "tessaread-scan: out of memory\n";
        return 2;
    }
}
