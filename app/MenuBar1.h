#pragma once

class QMenuBar;

// The application's one menu bar: File, Edit and Help, each item a QAction whose objectName is
// the item's name, so handlers and windows find it by name through MenuDispatcher. The first call
// builds it and hands it to the dispatcher; later calls return the same object. A window that
// takes it as its menu bar owns it from then on; should that window be destroyed, the next call
// builds a fresh one.
QMenuBar* MenuBar1();
