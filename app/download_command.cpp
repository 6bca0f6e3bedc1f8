#include "app/download_command.h"

#include "app/control_property.h"
#include "app/http_get_file.h"
#include "app/main_window.h"
#include "app/output_file.h"
#include "app/site_constants.h"
#include "app/ui_texts.h"
#include "text/encoding.h"
#include "web/web_request.h"

namespace velinor {
namespace {

TextValue Address(const MainWindow& window) {
  return std::get<TextValue>(GetControlProperty(window.编辑框1, ControlProperty::Text));
}

void SetStatus(MainWindow& window, const TextValue& text) {
  SetControlProperty(window.透明标签1, ControlProperty::Text, text);
}

void SetStatusColour(MainWindow& window, std::int32_t colour) {
  SetControlProperty(window.透明标签1, ControlProperty::TextColor, colour);
}

// Only a complete, successful, non-empty response is a sound worth keeping:
// anything else would replace a good earlier file with an error page or nothing.
bool IsWholeSound(const HttpGetFileOutcome& outcome, const ByteBuffer& bytes) {
  return outcome.complete && outcome.status >= 200 && outcome.status < 300 && !bytes.empty();
}

}  // namespace

void DownloadSoundEffect(MainWindow& window) {
  if (CompareExact(Address(window), "") == 0) return;

  if (FindText(Address(window), SectionMarker()) == -1) {
    SetStatus(window, WrongAddressText());
    SetStatusColour(window, 255);
    return;
  }

  SetStatusColour(window, 0);
  SetStatus(window, DownloadingText());

  TextValue page = WebRequest(Address(window));
  // Closing the window while the request pumped events ends the program: there
  // is nobody left to report to, and nothing should be written on its behalf.
  if (window.IsClosed()) return;

  static const TextValue kTitleEnd = Utf8ToAnsi(u8"下载_正版");
  const TextValue title = TextBetween(page, "<title>", kTitleEnd);
  if (title.empty()) {
    SetStatus(window, NoTitleText());
    return;
  }
  const TextValue audioAddress = TextBetween(page, "<source src=\"", "\"");
  page = TextValue();
  if (audioAddress.empty()) {
    SetStatus(window, DownloadFailedText());
    return;
  }

  HttpGetFileOutcome outcome;
  const ByteBuffer audio = HttpGetFile(ConcatText("http:", audioAddress), &outcome);
  const bool saved = IsWholeSound(outcome, audio) &&
                     WriteFileBytes(RunDirectory() / SoundFileName(title), audio);
  SetStatus(window, saved ? DownloadDoneText() : DownloadFailedText());
}

}  // namespace velinor
