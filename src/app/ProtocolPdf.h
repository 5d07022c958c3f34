#pragma once
// Printed protocols for the apparatus's maintenance record: the stamp every protocol carries
// (apparatus type, the controller's and this program's versions, date, engineer) and the way a
// window saves its protocol as PDF: the engineer's name asked (the last one offered again,
// remembered in vesmar.ini), the file chosen, the document written whole or not at all.

#include <ctime>
#include <string>

#include "platform/Document.h"

namespace kvt {

namespace protocol {
inline constexpr const char* kButtonCaption = "Сохранить протокол в PDF";
inline constexpr const char* kType = "Тип аппарата";
inline constexpr const char* kControllerVersion = "Версия ПО аппарата";
inline constexpr const char* kProgramVersion = "Версия программы";
inline constexpr const char* kDate = "Дата";
inline constexpr const char* kEngineer = "Инженер";
inline constexpr const char* kEngineerCaption = "Протокол";
inline constexpr const char* kEngineerPrompt = "Фамилия и инициалы инженера:";
inline constexpr const char* kFilter = "Документ PDF (*.pdf)|*.pdf";
inline constexpr const char* kSection = "Protocol";
inline constexpr const char* kEngineerKey = "Engineer";
}  // namespace protocol

// This program's version ("1.0.0").
std::string ProgramVersion();

// The name last given, from vesmar.ini ("" when none).
std::string RememberedEngineer();
// Keeps name for the next protocol (a failed write of vesmar.ini only loses the suggestion).
void RememberEngineer(const std::string& name);
// The name as it may be printed and stored: one line, blanks around it trimmed, control
// characters dropped, at most 160 bytes (80 Cyrillic letters).
std::string CleanEngineerName(const std::string& name);

// Sets the stamp lines of doc. systemType "K2" prints as "KVT-K2"; unknown values print as "—".
void StampProtocol(platform::PrintDocument& doc, const std::string& systemType,
                   const std::string& engineer, const std::tm& when);

// The save flow of a window's PDF button; messages carry title. when: the date printed (local
// time now when null). True when the file was written.
bool SaveProtocolPdf(platform::PrintDocument doc, const std::string& systemType,
                     const std::string& initialDir, const std::string& title,
                     const std::tm* when = nullptr);

}  // namespace kvt
