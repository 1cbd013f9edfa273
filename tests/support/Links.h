#pragma once
// Directory links for the tests of code that must never follow one. Wine 8
// cannot make a Windows link (CreateSymbolicLinkA answers success and makes
// nothing), so a Unix symbolic link made through the Z: drive stands in; Wine
// shows it as a directory with the reparse-point bit.
#include <string>
#include <vector>

namespace velta_test {

// Makes link a directory link to target; how tells which kind was made.
bool MakeDirectoryLink(const std::string& link, const std::string& target, std::string& how);
// Removes the Unix links named in folder (Wine cannot remove them itself).
// By name: Wine does not list a link whose target has gone.
void RemoveUnixLinks(const std::string& folder, const std::vector<std::string>& names);

}  // namespace velta_test
