// The targets kvsfx-pack makes launcher files for, the stub file each one
// takes, and the target a stub or launcher file was built for, read from its
// executable header (ELF e_machine, PE Machine).
#pragma once

#include <string>

namespace kvpack {

struct StubTarget {
    const char* name;      // canonical --target name
    const char* stubFile;  // the stub's file name beside kvsfx-pack or in lib/kvsfx/
};

// The target a --target value names (linux and linux-x86_64 are one target),
// or nullptr for an unknown name.
const StubTarget* FindTarget(const std::string& name);

// The target of the platform kvsfx-pack itself runs on (the default).
const StubTarget& HostTarget();

// The --target values that FindTarget accepts, for messages: "linux, ...".
const char* TargetNames();

// What the executable header at the start of an image says: canonical target
// name (or empty when the image is no stub of any target) and a description
// for people ("linux-arm64 (ELF, aarch64)", "ELF, machine 0x28: no kvsfx
// target"). `recognised` is false when the bytes are no ELF or PE image.
struct ImageTarget {
    bool recognised = false;
    std::string target;
    std::string description;
};
ImageTarget ReadImageTarget(const std::string& head);

}  // namespace kvpack
