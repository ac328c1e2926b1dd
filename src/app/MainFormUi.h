#pragma once

// The main window's generated form, for code outside this folder that reaches the controls through
// TDlgMainForm::ui (the form is generated into this library's build tree).
#include "ui_MainForm.h"
