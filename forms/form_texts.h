// Texts that more than one window shows, each written once.
#pragma once

namespace FormText {
inline constexpr const char* CannotCreateFile = "Non posso creare il file";
inline constexpr const char* FolderNamePrompt = "Digitare nome directory:";
inline constexpr const char* CannotOverwriteSameFile = "Non posso sovrascrivere sul medesimo file";
} // namespace FormText
