// The namespace interfaces between the host (our Explorer) and the shell
// library, declared from what the library's folder, view, menus, icons, data
// object and drop target are called with. Abstract classes in slot order;
// texts are UTF-8 unless a char16_t is asked for; windows are platform handles.
#pragma once

#include <cstdint>

#include "platform/com/com.h"
#include "platform/com/data_transfer.h"
#include "platform/shell/item_id_list.h"

namespace hub::platform {

using ShellWindow = uint32_t;   // a window handle of platform/window (0: none)
using ShellMenu = uintptr_t;    // a menu of the headless model (0: none)
using ShellIcon = uintptr_t;    // an icon handle (0: none)

inline constexpr IID IID_IPersist = MakeGuid(0x0000010C, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IDataObject = MakeGuid(0x0000010E, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IEnumFORMATETC = MakeGuid(0x00000103, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IDropSource = MakeGuid(0x00000121, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IDropTarget = MakeGuid(0x00000122, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IShellBrowser = MakeGuid(0x000214E2, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IShellView = MakeGuid(0x000214E3, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IContextMenu = MakeGuid(0x000214E4, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IShellFolder = MakeGuid(0x000214E6, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IShellExtInit = MakeGuid(0x000214E8, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IPersistFolder = MakeGuid(0x000214EA, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IExtractIconA = MakeGuid(0x000214EB, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
inline constexpr IID IID_IEnumIDList = MakeGuid(0x000214F2, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);

// --- Data transfer ----------------------------------------------------------

class IEnumFORMATETC : public IUnknown {
 public:
  virtual HRESULT Next(uint32_t count, FORMATETC* out, uint32_t* fetched) = 0;
  virtual HRESULT Skip(uint32_t count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumFORMATETC** out) = 0;

 protected:
  ~IEnumFORMATETC() = default;
};

class IDataObject : public IUnknown {
 public:
  virtual HRESULT GetData(const FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT GetDataHere(const FORMATETC* format, STGMEDIUM* medium) = 0;
  virtual HRESULT QueryGetData(const FORMATETC* format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(const FORMATETC* in, FORMATETC* out) = 0;
  virtual HRESULT SetData(const FORMATETC* format, STGMEDIUM* medium, bool release) = 0;
  virtual HRESULT EnumFormatEtc(uint32_t direction, IEnumFORMATETC** out) = 0;
  virtual HRESULT DAdvise(const FORMATETC* format, uint32_t flags, IUnknown* sink, uint32_t* connection) = 0;
  virtual HRESULT DUnadvise(uint32_t connection) = 0;
  virtual HRESULT EnumDAdvise(IUnknown** out) = 0;

 protected:
  ~IDataObject() = default;
};

// Drop effects and key states of drag and drop.
inline constexpr uint32_t DROPEFFECT_NONE = 0;
inline constexpr uint32_t DROPEFFECT_COPY = 1;
inline constexpr uint32_t DROPEFFECT_MOVE = 2;
inline constexpr uint32_t DROPEFFECT_LINK = 4;

struct ShellPoint {
  int32_t x = 0;
  int32_t y = 0;
};

class IDropSource : public IUnknown {
 public:
  virtual HRESULT QueryContinueDrag(bool escapePressed, uint32_t keyState) = 0;
  virtual HRESULT GiveFeedback(uint32_t effect) = 0;

 protected:
  ~IDropSource() = default;
};

class IDropTarget : public IUnknown {
 public:
  virtual HRESULT DragEnter(IDataObject* data, uint32_t keyState, ShellPoint point, uint32_t* effect) = 0;
  virtual HRESULT DragOver(uint32_t keyState, ShellPoint point, uint32_t* effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(IDataObject* data, uint32_t keyState, ShellPoint point, uint32_t* effect) = 0;

 protected:
  ~IDropTarget() = default;
};

// --- Folders, enumeration, icons, menus -------------------------------------

class IEnumIDList : public IUnknown {
 public:
  // Each returned list is a copy from the shell allocator that the caller frees.
  virtual HRESULT Next(uint32_t count, LPITEMIDLIST* out, uint32_t* fetched) = 0;
  virtual HRESULT Skip(uint32_t count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumIDList** out) = 0;

 protected:
  ~IEnumIDList() = default;
};

// Flags of EnumObjects, GetAttributesOf and GetDisplayNameOf that callers pass.
inline constexpr uint32_t SHCONTF_FOLDERS = 0x20;
inline constexpr uint32_t SHCONTF_NONFOLDERS = 0x40;
inline constexpr uint32_t SHCONTF_INCLUDEHIDDEN = 0x80;
inline constexpr uint32_t SFGAO_CANCOPY = 0x1;
inline constexpr uint32_t SFGAO_CANMOVE = 0x2;
inline constexpr uint32_t SFGAO_CANRENAME = 0x10;
inline constexpr uint32_t SFGAO_CANDELETE = 0x20;
inline constexpr uint32_t SFGAO_DROPTARGET = 0x100;
inline constexpr uint32_t SFGAO_FOLDER = 0x20000000;
inline constexpr uint32_t SFGAO_HASSUBFOLDER = 0x80000000;
inline constexpr uint32_t SHGDN_NORMAL = 0;
inline constexpr uint32_t SHGDN_INFOLDER = 1;
inline constexpr uint32_t SHGDN_FORPARSING = 0x8000;

class IShellFolder : public IUnknown {
 public:
  virtual HRESULT ParseDisplayName(ShellWindow owner, void* bindContext, const char16_t* name, uint32_t* eaten,
                                   LPITEMIDLIST* out, uint32_t* attributes) = 0;
  virtual HRESULT EnumObjects(ShellWindow owner, uint32_t flags, IEnumIDList** out) = 0;
  virtual HRESULT BindToObject(LPCITEMIDLIST ids, void* bindContext, REFIID iid, void** out) = 0;
  virtual HRESULT BindToStorage(LPCITEMIDLIST ids, void* bindContext, REFIID iid, void** out) = 0;
  // Negative, zero or positive in the low 16 bits of a successful result.
  virtual HRESULT CompareIDs(int64_t param, LPCITEMIDLIST first, LPCITEMIDLIST second) = 0;
  virtual HRESULT CreateViewObject(ShellWindow owner, REFIID iid, void** out) = 0;
  virtual HRESULT GetAttributesOf(uint32_t count, LPCITEMIDLIST* items, uint32_t* inOut) = 0;
  virtual HRESULT GetUIObjectOf(ShellWindow owner, uint32_t count, LPCITEMIDLIST* items, REFIID iid,
                                uint32_t* reserved, void** out) = 0;
  virtual HRESULT GetDisplayNameOf(LPCITEMIDLIST ids, uint32_t flags, STRRET* out) = 0;
  virtual HRESULT SetNameOf(ShellWindow owner, LPCITEMIDLIST ids, const char16_t* name, uint32_t flags,
                            LPITEMIDLIST* out) = 0;

 protected:
  ~IShellFolder() = default;
};

class IPersist : public IUnknown {
 public:
  virtual HRESULT GetClassID(CLSID* out) = 0;

 protected:
  ~IPersist() = default;
};

class IPersistFolder : public IPersist {
 public:
  // The folder's absolute list from the root of the host's namespace; the folder keeps a copy.
  virtual HRESULT Initialize(LPCITEMIDLIST absolute) = 0;

 protected:
  ~IPersistFolder() = default;
};

class IShellExtInit : public IUnknown {
 public:
  virtual HRESULT Initialize(LPCITEMIDLIST folder, IDataObject* data, const char* programKey) = 0;

 protected:
  ~IShellExtInit() = default;
};

inline constexpr uint32_t GIL_OPENICON = 0x1;
inline constexpr uint32_t GIL_FORSHELL = 0x2;
inline constexpr uint32_t GIL_NOTFILENAME = 0x8;
inline constexpr uint32_t GIL_DONTCACHE = 0x10;
// Output flags: the icon is a file's type icon drawn as a document.
inline constexpr uint32_t GIL_SIMULATEDOC = 0x1;

class IExtractIconA : public IUnknown {
 public:
  virtual HRESULT GetIconLocation(uint32_t flags, char* iconFile, uint32_t capacity, int32_t* index,
                                  uint32_t* outFlags) = 0;
  // `sizes`: large size in the low 16 bits, small size in the high 16 bits.
  virtual HRESULT Extract(const char* iconFile, uint32_t index, ShellIcon* large, ShellIcon* small,
                          uint32_t sizes) = 0;

 protected:
  ~IExtractIconA() = default;
};

inline constexpr uint32_t CMF_NORMAL = 0x0;
inline constexpr uint32_t CMF_DEFAULTONLY = 0x1;
inline constexpr uint32_t CMF_EXPLORE = 0x4;
inline constexpr uint32_t GCS_VERBA = 0x0;
inline constexpr uint32_t GCS_HELPTEXTA = 0x1;

struct CMINVOKECOMMANDINFO {
  uint32_t cbSize = sizeof(CMINVOKECOMMANDINFO);
  uint32_t fMask = 0;
  ShellWindow hwnd = 0;
  // A command offset (below 0x10000) or a verb text.
  uintptr_t lpVerb = 0;
  const char* lpParameters = nullptr;
  const char* lpDirectory = nullptr;
  int32_t nShow = 1;
};

class IContextMenu : public IUnknown {
 public:
  // Adds commands numbered from idCmdFirst; answers how many ids it used in the low 16 bits.
  virtual HRESULT QueryContextMenu(ShellMenu menu, uint32_t indexMenu, uint32_t idCmdFirst, uint32_t idCmdLast,
                                   uint32_t flags) = 0;
  virtual HRESULT InvokeCommand(const CMINVOKECOMMANDINFO* info) = 0;
  virtual HRESULT GetCommandString(uintptr_t command, uint32_t type, uint32_t* reserved, char* name,
                                   uint32_t capacity) = 0;

 protected:
  ~IContextMenu() = default;
};

// --- The view and the browser that hosts it ---------------------------------

struct FOLDERSETTINGS {
  uint32_t ViewMode = 0;
  uint32_t fFlags = 0;
};

struct ShellRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// A toolbar button the view asks the browser to show.
struct ShellToolbarButton {
  int32_t bitmap = 0;
  int32_t command = 0;
  uint8_t state = 0;
  uint8_t style = 0;
  intptr_t text = 0;
};

struct ShellMessage {
  ShellWindow window = 0;
  uint32_t message = 0;
  uint64_t wParam = 0;
  int64_t lParam = 0;
};

class IShellView;

class IOleWindow : public IUnknown {
 public:
  virtual HRESULT GetWindow(ShellWindow* out) = 0;
  virtual HRESULT ContextSensitiveHelp(bool enter) = 0;

 protected:
  ~IOleWindow() = default;
};

class IShellBrowser : public IOleWindow {
 public:
  virtual HRESULT InsertMenusSB(ShellMenu shared, void* widths) = 0;
  virtual HRESULT SetMenuSB(ShellMenu shared, void* oleMenu, ShellWindow activeObject) = 0;
  virtual HRESULT RemoveMenusSB(ShellMenu shared) = 0;
  virtual HRESULT SetStatusTextSB(const char16_t* text) = 0;
  virtual HRESULT EnableModelessSB(bool enable) = 0;
  virtual HRESULT TranslateAcceleratorSB(ShellMessage* message, uint16_t id) = 0;
  virtual HRESULT BrowseObject(LPCITEMIDLIST ids, uint32_t flags) = 0;
  virtual HRESULT GetViewStateStream(uint32_t mode, IUnknown** out) = 0;
  virtual HRESULT GetControlWindow(uint32_t id, ShellWindow* out) = 0;
  virtual HRESULT SendControlMsg(uint32_t id, uint32_t message, uint64_t wParam, int64_t lParam, int64_t* result) = 0;
  virtual HRESULT QueryActiveShellView(IShellView** out) = 0;
  virtual HRESULT OnViewWindowActive(IShellView* view) = 0;
  virtual HRESULT SetToolbarItems(const ShellToolbarButton* buttons, uint32_t count, uint32_t flags) = 0;

 protected:
  ~IShellBrowser() = default;
};

// The browser's control windows and the navigation it is asked for.
inline constexpr uint32_t FCW_STATUS = 1;
inline constexpr uint32_t FCW_TOOLBAR = 2;
inline constexpr uint32_t FCW_TREE = 3;
inline constexpr uint32_t SBSP_ABSOLUTE = 0x0;
inline constexpr uint32_t SBSP_PARENT = 0x2000;
inline constexpr uint32_t SBSP_RELATIVE = 0x1000;
inline constexpr uint32_t SBSP_NAVIGATEBACK = 0x4000;
// SetToolbarItems: the buttons go after the browser's own.
inline constexpr uint32_t FCT_ADDTOEND = 0x4;

// Messages the view sends to the browser's status bar and toolbar through
// SendControlMsg. Texts and arrays travel as pointers (same process).
inline constexpr uint32_t kWmShowWindow = 0x18;
inline constexpr uint32_t kSbSetTextA = 0x401;    // wParam part, lParam const char*
inline constexpr uint32_t kSbSetParts = 0x404;    // wParam count, lParam const int32_t*
inline constexpr uint32_t kTbCheckButton = 0x402; // wParam command, lParam checked
inline constexpr uint32_t kTbIsButtonChecked = 0x40A;
inline constexpr uint32_t kTbAddBitmap = 0x413;   // wParam image count; answers the first index
inline constexpr uint32_t kTbAutoSize = 0x421;

// The groups of the browser's shared menu (ids of its popup items).
inline constexpr uint32_t FCIDM_MENU_FILE = 0xA000;
inline constexpr uint32_t FCIDM_MENU_EDIT = 0xA040;
inline constexpr uint32_t FCIDM_MENU_VIEW = 0xA080;
inline constexpr uint32_t FCIDM_MENU_VIEW_SEP_OPTIONS = 0xA081;
inline constexpr uint32_t FCIDM_MENU_HELP = 0xA100;

// UIActivate states.
inline constexpr uint32_t SVUIA_DEACTIVATE = 0;
inline constexpr uint32_t SVUIA_ACTIVATE_NOFOCUS = 1;
inline constexpr uint32_t SVUIA_ACTIVATE_FOCUS = 2;

// Folder view modes.
inline constexpr uint32_t FVM_ICON = 1;
inline constexpr uint32_t FVM_SMALLICON = 2;
inline constexpr uint32_t FVM_LIST = 3;
inline constexpr uint32_t FVM_DETAILS = 4;

// The view's notice for a toolbar tooltip: the browser asks the view window
// with kWmNotify and a ShellToolTipRequest (same process).
inline constexpr uint32_t kWmNotify = 0x4E;
inline constexpr int kTtnGetDispInfoA = -520;
struct ShellToolTipRequest {
  int code = kTtnGetDispInfoA;
  int command = 0;
  char text[80] = {};
};

class IShellView : public IOleWindow {
 public:
  virtual HRESULT TranslateAccelerator(ShellMessage* message) = 0;
  virtual HRESULT EnableModeless(bool enable) = 0;
  virtual HRESULT UIActivate(uint32_t state) = 0;
  virtual HRESULT Refresh() = 0;
  virtual HRESULT CreateViewWindow(IShellView* previous, const FOLDERSETTINGS* settings, IShellBrowser* browser,
                                   const ShellRect* rect, ShellWindow* out) = 0;
  virtual HRESULT DestroyViewWindow() = 0;
  virtual HRESULT GetCurrentInfo(FOLDERSETTINGS* out) = 0;
  virtual HRESULT AddPropertySheetPages(uint32_t reserved, void* addPage, intptr_t param) = 0;
  virtual HRESULT SaveViewState() = 0;
  virtual HRESULT SelectItem(LPCITEMIDLIST item, uint32_t flags) = 0;
  virtual HRESULT GetItemObject(uint32_t item, REFIID iid, void** out) = 0;

 protected:
  ~IShellView() = default;
};

}  // namespace hub::platform
