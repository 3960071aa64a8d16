#pragma once
// Path texts as the model keeps them. Files written on Windows name folders with '\', ours with
// '/': the file-name part of a path is the text after the last of either, the folder part the
// text before it. Texts are compared byte for byte.

#include <string>
#include <string_view>

// Text after the last '/' or '\' (the whole text when it has neither).
std::string FileNamePart(std::string_view path);

// Text before the last '/' or '\', without that separator ("" when it has neither).
std::string FolderPart(std::string_view path);

// Text up to and including the last '/' or '\' ("" when it has neither).
std::string FolderWithSeparator(std::string_view path);

// The folder with '/' added unless it already ends with '/' or '\'. "" stays "".
std::string EnsureTrailingSeparator(std::string_view folder);

// Folder of the loaded module (executable or shared library) that contains address, ending
// with '/'. Empty when the platform cannot tell.
std::string ModuleFolderOf(const void* address);

// Full path of the loaded module that contains address; empty when unknown.
std::string ModulePathOf(const void* address);
