// The sub-commands of stickwell-cli. Each takes the arguments after its own name, writes its
// result to standard output and returns the exit status; errors are raised as exceptions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sw {
class TBitmap32;
class TdtpDocument;
class ISettings;
enum TPrintQualityType : uint8_t;
}  // namespace sw

namespace sw::cli {

using Args = std::vector<std::string>;

int CmdStorage(const Args& args);  // storage list|cat|pack
int CmdXml(const Args& args);      // xml FILE [--readable|--compact]
int CmdImage(const Args& args);    // image info|convert
int CmdPage(const Args& args);     // page FILE [--readable]
int CmdRender(const Args& args);   // render FILE OUT.png [--page N] [--dpi D]
int CmdView(const Args& args);     // view FILE OUT.png --client WxH [--normal] [--fit-page | --zoom P]
int CmdPrint(const Args& args);    // print FILE OUT.pdf|OUT.png [--quality Q] [--paper WxH] [--dpi N] ...
int CmdDoc(const Args& args);      // doc info FILE | doc copy IN OUT | doc build OUT INDEX PAGE...
// magnet info|layout|sheet|print|guide|design|template|artwork ...; settings keep the used
// positions of a sheet (null: none are kept).
int CmdMagnet(const Args& args, ISettings* settings);

// Raises a usage error with the given text.
[[noreturn]] void UsageError(const std::string& text);

// Shared by render and view (tools/cmd_render.cpp).
// Loads a document archive, or a page XML file (root element Page) into the document's page.
void LoadDocumentFile(TdtpDocument& doc, const std::string& fileName);
// Makes page (1-based) current; a page the document lacks raises an error.
void SelectPage(TdtpDocument& doc, int page);
// Writes the bitmap as PNG, encoded in memory first so that a failure leaves no partial file.
void WritePng(const TBitmap32& bitmap, const std::string& fileName);
int ParsePositiveInt(const std::string& text, const std::string& option);
double ParsePositiveNumber(const std::string& text, const std::string& option);
// --quality low|medium|high|device (tools/cmd_print.cpp).
TPrintQualityType ParseQuality(const std::string& text);

}  // namespace sw::cli
