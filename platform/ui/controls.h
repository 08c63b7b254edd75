// The controls a window module talks to; each backend implements them.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace qm {

using Event = std::function<void()>;
// Mouse button, shift state and pointer position in twips.
using MouseMoveEvent = std::function<void(int button, int shift, float x, float y)>;

// Change events fire synchronously, for program and user changes alike, and only when
// the value really changes. An error thrown by a handler reached from a setter
// propagates to the code that called the setter.

// What every control is: a form keeps its controls by name, whatever their kind.
class Control {
 public:
  virtual ~Control() = default;
};

// A caption keeps the characters before the first NUL.
class Label : public Control {
 public:
  virtual std::string caption() const = 0;
  virtual void setCaption(std::string_view caption) = 0;
};

class CommandButton : public Control {
 public:
  Event Click;
};

class TextBox : public Control {
 public:
  virtual std::string text() const = 0;
  // The box keeps the characters before the first NUL only.
  virtual void setText(std::string_view text) = 0;
  // Selection in characters (not bytes) of the text.
  virtual int selStart() const = 0;
  virtual int selLength() const = 0;
  virtual void setSelStart(int start) = 0;
  virtual void setSelLength(int length) = 0;
  Event Change;
  Event GotFocus;
};

// The list of drives (roots); its drive is read and set as a drive specification
// such as "C:". Setting a drive that cannot be selected throws a RuntimeError.
class DriveListBox : public Control {
 public:
  virtual std::string drive() const = 0;
  virtual void setDrive(std::string_view spec) = 0;
  Event Change;
};

// The folder list. Setting the path to a drive specification shows that drive's
// current folder; a folder that cannot be listed throws a RuntimeError.
class DirListBox : public Control {
 public:
  virtual std::string path() const = 0;
  virtual void setPath(std::string_view path) = 0;
  Event Change;
};

// A window made from a layout table. Its controls are found by their names.
class Form {
 public:
  virtual ~Form() = default;
  virtual Label& label(std::string_view name) = 0;
  virtual CommandButton& button(std::string_view name) = 0;
  virtual TextBox& textBox(std::string_view name) = 0;
  virtual DriveListBox& driveList(std::string_view name) = 0;
  virtual DirListBox& dirList(std::string_view name) = 0;

  // Shows the window without making it modal; a shown window comes to the front.
  virtual void show() = 0;
  // Closes (unloads) the window; its controls keep no state for a later load.
  virtual void close() = 0;
  // False once the window was closed by the program or by its frame.
  virtual bool isOpen() const = 0;
  // Moves the input focus to a control, raising its GotFocus when the focus was elsewhere.
  virtual void setFocus(std::string_view name) = 0;

  // Fires only while the pointer moves over the window's own surface.
  MouseMoveEvent MouseMove;
  // Fires after the user closed the window by its frame.
  Event Closed;
};

}  // namespace qm
