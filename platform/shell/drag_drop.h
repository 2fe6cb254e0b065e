// Drag and drop. RegisterDragDrop maps a window to its drop target; DoDragDrop
// is a modal loop whose steps (the window under the mouse, keys, Escape, the
// drop) come from the UiDriver. A target in this process is called directly.
// A window of another process gets enter, over, leave and drop as sends with a
// time-out through a helper child window that RegisterDragDrop makes; the
// format numbers go at enter, and before the drop every format the source
// renders is written into <runtime>/dragdrop/<id>/, which the target's proxy
// data object reads.
#pragma once

#include <cstdint>
#include <string>

#include "platform/shell/shell_interfaces.h"

namespace hub::platform {

// Key states of drag and drop (buttons and modifiers).
inline constexpr uint32_t MK_LBUTTON = 0x1;
inline constexpr uint32_t MK_RBUTTON = 0x2;
inline constexpr uint32_t MK_SHIFT = 0x4;
inline constexpr uint32_t MK_CONTROL = 0x8;
inline constexpr uint32_t MK_MBUTTON = 0x10;

inline constexpr HRESULT DRAGDROP_S_DROP = 0x00040100;
inline constexpr HRESULT DRAGDROP_S_CANCEL = 0x00040101;
inline constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102;
inline constexpr HRESULT DRAGDROP_E_NOTREGISTERED = static_cast<HRESULT>(0x80040100);
inline constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = static_cast<HRESULT>(0x80040101);
inline constexpr HRESULT DRAGDROP_E_INVALIDHWND = static_cast<HRESULT>(0x80040102);

// The helper window's class, a child of every registered window.
inline constexpr const char* kDropTargetHelperClass = "HubDropTargetHelper";

// The window must belong to this process; the target is kept (AddRef) until
// RevokeDragDrop or the window's end. The calling thread must run a message
// loop for drops from other processes to arrive.
HRESULT RegisterDragDrop(ShellWindow window, IDropTarget* target);
HRESULT RevokeDragDrop(ShellWindow window);

// Runs the drag until the source says drop or cancel. `effect` gets the drop's
// effect (limited to `okEffects`), DROPEFFECT_NONE when cancelled.
HRESULT DoDragDrop(IDataObject* data, IDropSource* source, uint32_t okEffects, uint32_t* effect);

// The time-outs of the sends to a target in another process.
inline constexpr uint32_t kDragSendTimeoutMs = 5000;
inline constexpr uint32_t kDropSendTimeoutMs = 600000;  // a drop may ask its user a question

// A plain drop source, as a desktop file manager's: Escape cancels, letting
// the left button go drops (one reference for the caller).
IDropSource* CreateSimpleDropSource();

}  // namespace hub::platform
