#pragma once

class WindowSystem;

// Prints the tabs of the key window, one line each, or "No tab group found".
void listAllWindowTabs(const WindowSystem &windows);
