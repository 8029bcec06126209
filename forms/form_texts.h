// Texts of the windows kept in one table: those that more than one window shows, and the newer menu items.
#pragma once

namespace FormText {
inline constexpr const char* CannotCreateFile = "Non posso creare il file";
inline constexpr const char* FolderNamePrompt = "Digitare nome directory:";
inline constexpr const char* CannotOverwriteSameFile = "Non posso sovrascrivere sul medesimo file";
inline constexpr const char* SafeCompactionCommand = "Compattazione sicura";
} // namespace FormText
