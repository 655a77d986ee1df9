// kvsfx-pack: makes launcher files (stub + configuration + ZIP archive) and
// inspects them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework/module_path.h"
#include "pack_builder.h"
#include "pack_error.h"
#include "pack_fs.h"
#include "pack_inspect.h"
#include "stub_target.h"

using namespace kvpack;

namespace {

const char HelpText[] =
    "Usage:\n"
    "  kvsfx-pack [options] -C FOLDER -o OUTPUT\n"
    "  kvsfx-pack [options] --zip ARCHIVE.zip -o OUTPUT\n"
    "  kvsfx-pack --info LAUNCHER\n"
    "  kvsfx-pack --test LAUNCHER\n"
    "  kvsfx-pack --list LAUNCHER\n"
    "  kvsfx-pack --extract LAUNCHER FOLDER\n"
    "\n"
    "Makes a launcher file: the stub program, then the configuration block, then a\n"
    "ZIP archive of the payload. When started, the launcher extracts the payload to\n"
    "a temporary folder and runs the program named with --run.\n"
    "\n"
    "Payload (one of):\n"
    "  -C, --folder FOLDER  pack every file and folder below FOLDER\n"
    "  --zip ARCHIVE        append an existing ZIP archive unchanged; refused when\n"
    "                       the launcher cannot extract one of its entries (a\n"
    "                       compression method other than stored, deflated, LZMA\n"
    "                       and XZ, strong or AES encryption)\n"
    "  --follow-links       pack what symbolic links pointing outside FOLDER lead to;\n"
    "                       without it such links are refused (links that stay\n"
    "                       inside FOLDER are always followed)\n"
    "  --solid              pack FOLDER as a solid payload: a pax tar compressed as\n"
    "                       .xz (LZMA2, strongest preset, x86 code in parts of its\n"
    "                       own, with the x86 branch filter where that is smaller),\n"
    "                       cut into parts at file boundaries that\n"
    "                       the launcher decodes on separate processors; stored in\n"
    "                       entries payload.tar.xz or payload.tar.xz.001, .002, ...\n"
    "                       (joined with cat, tar -xJf reads them)\n"
    "  --solid-part MIB     tar bytes a part holds (default 128): smaller parts\n"
    "                       decode on more processors, larger ones compress better\n"
    "  Files of 4 GiB and more, more than 65,535 entries and archives beyond 4 GiB\n"
    "  are written with Zip64 records; other archives have none.\n"
    "\n"
    "Configuration:\n"
    "  --title TEXT         title of the progress window\n"
    "  --run PATH           program to start, relative to the extracted payload\n"
    "  --no-progress        show no progress window (Prog 0)\n"
    "  --no-password        store entries unencrypted (UsePW 0); by default they\n"
    "                       are encrypted with the launcher's fixed password\n"
    "  --wait-tree          wait until the program and every process it started\n"
    "                       have ended before the payload is deleted (WaitTree 1)\n"
    "  --pass-exit-code     the launcher exits with the program's exit code\n"
    "                       (PassExitCode 1)\n"
    "  The configuration text is written in UTF-8: a title or program name in any\n"
    "  script is shown and used as given. Entry names that are not plain ASCII are\n"
    "  stored in UTF-8, marked so (flag bit 11 and a Unicode Path field).\n"
    "\n"
    "Windows launcher files (the Windows stub only):\n"
    "  --icon FILE.ico      replace the launcher's icon with every image of FILE.ico\n"
    "  --version-info KEY=VALUE\n"
    "                       set a version string (repeatable): CompanyName,\n"
    "                       FileDescription, FileVersion, ProductName, ProductVersion,\n"
    "                       LegalCopyright, OriginalFilename, InternalName; dotted\n"
    "                       FileVersion/ProductVersion numbers set the fixed versions\n"
    "  --elevate            ask for administrator rights (requireAdministrator)\n"
    "\n"
    "Output:\n"
    "  -o, --output FILE    the launcher file to write (replaced if it exists)\n"
    "  --target linux|linux-x86_64|linux-arm64|windows\n"
    "                       stub to use: kvsfx (linux and linux-x86_64 are one\n"
    "                       target), kvsfx-linux-arm64 or kvsfx.exe, beside\n"
    "                       kvsfx-pack or in ../lib/kvsfx/ (default: the platform\n"
    "                       kvsfx-pack runs on)\n"
    "  --stub FILE          use this stub instead\n"
    "  --level N            deflate level 1-9 (default 6)\n"
    "  --reproducible       fixed timestamps (SOURCE_DATE_EPOCH or 1980-01-01) and\n"
    "                       derived encryption headers: same input, same bytes\n"
    "\n"
    "Inspection:\n"
    "  --info FILE          show a launcher file's configuration and entries (and,\n"
    "                       for Windows, its icon sizes, version and execution level)\n"
    "  --test FILE          extract every entry to nowhere and check its CRC\n"
    "  --list FILE          show a launcher file's entries\n"
    "  --extract FILE FOLDER\n"
    "                       write the payload into FOLDER (new or empty) and start\n"
    "                       nothing\n"
    "\n"
    "  --version            show the version of kvsfx-pack\n"
    "\n"
    "Exit codes: 0 done, 1 bad input or failure, 2 usage error.\n";

void Warn(const std::string& text) { std::fprintf(stderr, "kvsfx-pack: warning: %s\n", text.c_str()); }

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of(PlatformSeparator == '\\' ? "\\/:" : "/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// The stub beside kvsfx-pack (a build folder), else in ../lib/kvsfx/ (an
// installed tree).
std::string FindStub(const std::string& name) {
    std::string self = ModuleFilePath();
    if (self.empty()) throw CPackError("cannot find kvsfx-pack's own folder; give the stub with --stub");
    const std::string folder = FolderOf(self);
    const std::string beside = folder + name;
    const std::string installed = JoinPath(JoinPath(JoinPath(folder + "..", "lib"), "kvsfx"), name);
    for (const std::string& candidate : {beside, installed})
        if (StatPath(candidate).isFile) return candidate;
    throw CPackError("no stub " + name + " beside kvsfx-pack ('" + beside + "') nor in its installed place ('" +
                     installed + "'); give one with --stub");
}

struct Args {
    PackOptions pack;
    std::string target;
    std::string infoPath, testPath, listPath, extractPath, extractFolder;
    bool help = false, version = false;
};

Args Parse(int argc, char** argv) {
    Args args;
    auto value = [&](int& i, const std::string& option, const char* inlineValue) -> std::string {
        if (inlineValue) return inlineValue;
        if (i + 1 >= argc) throw CPackError("option " + option + " needs a value", ExitUsage);
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* inlineValue = nullptr;
        if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                inlineValue = argv[i] + eq + 1;
                arg = arg.substr(0, eq);
            }
        }
        if (arg == "-h" || arg == "--help") {
            args.help = true;
        } else if (arg == "--version") {
            args.version = true;
        } else if (arg == "--list") {
            args.listPath = value(i, arg, inlineValue);
        } else if (arg == "--extract") {
            args.extractPath = value(i, arg, inlineValue);
            args.extractFolder = value(i, arg, nullptr);
        } else if (arg == "-o" || arg == "--output") {
            args.pack.outputPath = value(i, arg, inlineValue);
        } else if (arg == "-C" || arg == "--folder") {
            args.pack.folder = value(i, arg, inlineValue);
        } else if (arg == "--zip") {
            args.pack.zipPath = value(i, arg, inlineValue);
        } else if (arg == "--stub") {
            args.pack.stubPath = value(i, arg, inlineValue);
        } else if (arg == "--target") {
            args.target = value(i, arg, inlineValue);
            if (!FindTarget(args.target))
                throw CPackError(std::string("--target takes ") + TargetNames() + ", not '" + args.target + "'",
                                 ExitUsage);
        } else if (arg == "--title") {
            args.pack.config.title = value(i, arg, inlineValue);
        } else if (arg == "--run") {
            args.pack.config.run = value(i, arg, inlineValue);
        } else if (arg == "--no-progress") {
            args.pack.config.showProgress = false;
        } else if (arg == "--no-password") {
            args.pack.config.usePassword = false;
        } else if (arg == "--wait-tree") {
            args.pack.config.waitTree = true;
        } else if (arg == "--pass-exit-code") {
            args.pack.config.passExitCode = true;
        } else if (arg == "--solid") {
            args.pack.config.solid = true;
        } else if (arg == "--solid-part") {
            const std::string v = value(i, arg, inlineValue);
            const long mib = std::strtol(v.c_str(), nullptr, 10);
            if (mib < 1 || mib > 4096 || v.find_first_not_of("0123456789") != std::string::npos)
                throw CPackError("--solid-part takes MiB from 1 to 4096, not '" + v + "'", ExitUsage);
            args.pack.solidPartSize = static_cast<uint64_t>(mib) << 20;
        } else if (arg == "--follow-links") {
            args.pack.followLinks = true;
        } else if (arg == "--icon") {
            args.pack.branding.iconPath = value(i, arg, inlineValue);
        } else if (arg == "--version-info") {
            const std::string pair = value(i, arg, inlineValue);
            const size_t eq = pair.find('=');
            if (eq == std::string::npos || eq == 0)
                throw CPackError("--version-info takes KEY=VALUE, not '" + pair + "'", ExitUsage);
            args.pack.branding.versionStrings.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
        } else if (arg == "--elevate") {
            args.pack.branding.elevate = true;
        } else if (arg == "--reproducible") {
            args.pack.reproducible = true;
        } else if (arg == "--level") {
            std::string v = value(i, arg, inlineValue);
            if (v.size() != 1 || v[0] < '1' || v[0] > '9')
                throw CPackError("--level takes a digit from 1 to 9, not '" + v + "'", ExitUsage);
            args.pack.level = v[0] - '0';
        } else if (arg == "--info") {
            args.infoPath = value(i, arg, inlineValue);
        } else if (arg == "--test") {
            args.testPath = value(i, arg, inlineValue);
        } else {
            throw CPackError("unknown argument '" + arg + "' (see --help)", ExitUsage);
        }
    }
    return args;
}

int Run(int argc, char** argv) {
    Args args = Parse(argc, argv);
    if (args.help) {
        std::fputs(HelpText, stdout);
        return ExitDone;
    }
    if (args.version) {
        std::printf("kvsfx-pack %s\n", KVSFX_VERSION);
        return ExitDone;
    }
    const int inspecting = !args.infoPath.empty() + !args.testPath.empty() + !args.listPath.empty() +
                           !args.extractPath.empty();
    if (inspecting) {
        if (inspecting > 1) throw CPackError("give only one of --info, --test, --list and --extract", ExitUsage);
        if (!args.pack.outputPath.empty() || !args.pack.folder.empty() || !args.pack.zipPath.empty())
            throw CPackError("--info, --test, --list and --extract take no payload or output", ExitUsage);
        if (!args.infoPath.empty()) return ShowInfo(args.infoPath, stdout);
        if (!args.listPath.empty()) return ListEntries(args.listPath, stdout);
        if (!args.extractPath.empty()) return ExtractLauncher(args.extractPath, args.extractFolder, stdout);
        return TestLauncher(args.testPath, stdout);
    }
    if (argc == 1) {
        std::fputs("kvsfx-pack: no arguments given\n\n", stderr);
        std::fputs(HelpText, stderr);
        return ExitUsage;
    }
    PackOptions& pack = args.pack;
    if (pack.outputPath.empty()) throw CPackError("no output file given (-o FILE)", ExitUsage);
    if (pack.folder.empty() == pack.zipPath.empty())
        throw CPackError("give exactly one payload: -C FOLDER or --zip ARCHIVE", ExitUsage);
    if (pack.config.solid && pack.folder.empty()) throw CPackError("--solid packs a folder (-C FOLDER)", ExitUsage);
    if (pack.stubPath.empty()) {
        const StubTarget& target = args.target.empty() ? HostTarget() : *FindTarget(args.target);
        pack.stubPath = FindStub(target.stubFile);
        // A stub of another machine under this target's name would make launcher
        // files that cannot start where they are meant to run.
        const ImageTarget found = ReadImageTarget(ReadFileBytes(pack.stubPath, 4096));
        if (found.recognised && found.target != target.name)
            throw CPackError("stub '" + pack.stubPath + "' is " + found.description + ", not a stub for " +
                             target.name);
    } else if (!args.target.empty()) {
        throw CPackError("give either --stub or --target", ExitUsage);
    }

    PackResult result = BuildLauncher(pack, Warn);
    std::printf("kvsfx-pack: wrote %s (%llu bytes: stub and block up to %llu, archive of %zu entries)\n",
                pack.outputPath.c_str(), static_cast<unsigned long long>(result.outputSize),
                static_cast<unsigned long long>(result.archiveOffset), result.entries);
    return ExitDone;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const CPackError& e) {
        std::fprintf(stderr, "kvsfx-pack: %s\n", e.what());
        if (e.ExitCode() == ExitUsage) std::fputs("Try 'kvsfx-pack --help'.\n", stderr);
        return e.ExitCode();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvsfx-pack: %s\n", e.what());
        return ExitBadInput;
    }
}
