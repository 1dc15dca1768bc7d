#include "display/text_commands.h"

#include <string>

#include "display/graphics.h"
#include "runtime/vm/opcodes/opcode_support.h"

namespace zv {
namespace {

namespace op = text_opcode;

void YieldByRefresh(Vm& vm) {
  if (vm.auto_refresh) vm.yield = true;
}

void CmdChecklistFontFamilies(Vm& vm) {
  if (Graphics* g = FindGraphics(vm)) g->Fonts().ChecklistFontFamilies(vm.checklist);
}

void CmdSetTextFont(Vm& vm) {
  const std::string name(vm.NextString());
  YieldByRefresh(vm);
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueTextFont(name, 0);
}

void CmdSetTextFontCharset(Vm& vm) {
  const std::string name(vm.NextString());
  const int32_t charset = vm.NextInt();
  YieldByRefresh(vm);
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueTextFont(name, charset);
}

void CmdSetTextSize(Vm& vm) {
  const int32_t size = vm.NextInt();
  YieldByRefresh(vm);
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueTextSize(size);
}

template <bool Opaque>
void CmdSetTextBackground(Vm& vm) {
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueTextOpaque(Opaque);
}

template <int16_t Style>
void CmdSetTextStyle(Vm& vm) {
  YieldByRefresh(vm);
  if (Graphics* g = FindGraphics(vm)) g->Queue().QueueTextStyle(Style);
}

template <bool Centred>
void CmdTextAt(Vm& vm) {
  const int32_t x = vm.NextInt();
  const int32_t y = vm.NextInt();
  const std::string text(vm.NextString());
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  if (g->CurrentBitmap() == 0) YieldByRefresh(vm);
  g->Queue().QueueTextAt(x, y, text, Centred);
}

// The text state as the commands given so far set it: the executor's with
// the text records that still wait in the queue applied, so that the
// functions agree with the commands before them (with manual refresh the
// queue runs only at the next sync).
struct PendingText {
  TextState state;
  int32_t system_charset = 0;  // as the fonts made on the way leave it
  bool new_font = false;       // a waiting record makes the text font anew
};

PendingText PendingTextState(Graphics& g) {
  PendingText pending{g.Fonts().State(), g.Fonts().SystemCharset()};
  const RecordPool<DrawRecord>& draws = g.Pools().draws;
  for (int32_t i = draws.Head(); i != kNoRecord; i = draws.Next(i)) {
    if (!ApplyTextRecord(draws[i], pending.state)) continue;
    pending.new_font = true;
    if (pending.state.charset != 0) pending.system_charset = pending.state.charset;
  }
  return pending;
}

void FnTextFont(Vm& vm) {
  const Slot result = core::NextStringResult(vm);
  if (Graphics* g = FindGraphics(vm)) vm.SetString(result, PendingTextState(*g).state.font_name);
}

template <int32_t (*Read)(const TextState&)>
void FnTextValue(Vm& vm) {
  const Slot result = vm.NextSlot();
  if (Graphics* g = FindGraphics(vm)) vm.SetInt(result, Read(PendingTextState(*g).state));
}

int32_t SizeOf(const TextState& s) { return s.size; }
int32_t OpaqueOf(const TextState& s) { return s.opaque; }
int32_t StyleOf(const TextState& s) { return s.style; }

template <bool Width>
void FnTextExtent(Vm& vm) {
  const Slot result = vm.NextSlot();
  const std::string text(vm.NextString());
  Graphics* g = FindGraphics(vm);
  if (!g) return;
  const PendingText pending = PendingTextState(*g);
  platform::FontPtr font = g->Fonts().TextFontPtr();
  if (pending.new_font) {
    int32_t system_charset = pending.system_charset;
    font = g->Fonts().FontFor(pending.state, &system_charset, g->Screen().Surfaces().back_buffer != nullptr);
  }
  const platform::Size size = font->Measure(text);
  vm.SetInt(result, Width ? size.width : size.height);
}

}  // namespace

void RegisterTextHandlers(HandlerTable& t) {
  t.Set(op::kChecklistFontFamilies, CmdChecklistFontFamilies);
  t.Set(op::kSetTextFont, CmdSetTextFont);
  t.Set(op::kSetTextFontCharset, CmdSetTextFontCharset);
  t.Set(op::kSetTextSize, CmdSetTextSize);
  t.Set(op::kSetTextOpaque, CmdSetTextBackground<true>);
  t.Set(op::kSetTextTransparent, CmdSetTextBackground<false>);
  t.Set(op::kSetTextNormal, CmdSetTextStyle<0>);
  t.Set(op::kSetTextItalic, CmdSetTextStyle<1>);
  t.Set(op::kSetTextBold, CmdSetTextStyle<2>);
  t.Set(op::kSetTextBoldItalic, CmdSetTextStyle<3>);
  t.Set(op::kTextAt, CmdTextAt<false>);
  t.Set(op::kCenterTextAt, CmdTextAt<true>);
  t.Set(op::kTextFont, FnTextFont);
  t.Set(op::kTextSize, FnTextValue<SizeOf>);
  t.Set(op::kTextBackgroundType, FnTextValue<OpaqueOf>);
  t.Set(op::kTextStyle, FnTextValue<StyleOf>);
  t.Set(op::kTextWidth, FnTextExtent<true>);
  t.Set(op::kTextHeight, FnTextExtent<false>);
}

}  // namespace zv
