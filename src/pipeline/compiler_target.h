// Which processor an installation's compiler writes code for, asked before a conversion has a
// listing of its own: the window names the other processor's installation without saying which
// processor that is, and the builds' file names depend on it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/services.h"
#include "pipeline/target.h"

namespace brisko::pipeline {

// The target the "format ..." line of a listing or generated source names, looked for up to
// its first section line; nothing when there is none.
std::optional<Target> targetOfSource(std::string_view bytes);

// Reports (not fatal) that the installation in folder, named for expected code, compiles for
// found: installationTarget with both and the folder. Returns the failure.
app::Outcome reportTargetMismatch(app::Feedback& feedback, Target expected, Target found,
                                  const std::string& folder);

// Compiles an empty program with the installation's compiler (services.paths) in workFolder
// (with its trailing separator) and reads the target of its listing; the files it made there
// are removed. Nothing, and nothing shown, when the compiler wrote no listing.
std::optional<Target> compilerTarget(app::Services& services, const std::string& workFolder);

}  // namespace brisko::pipeline
