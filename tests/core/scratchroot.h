// A fresh root for the fixed paths of one unit-test process: created and set as
// TAVORC_ROOT before any test runs (the program reads the variable once), and
// removed when the process ends. Each process has its own, so test programs
// may run side by side.
#pragma once

#include <functional>
#include <string>

const std::string& scratchRoot();
std::string scratchPath(const std::string& fixed);
void writeScratch(const std::string& fixed, const std::string& content);
std::string readScratch(const std::string& fixed);
bool scratchExists(const std::string& fixed);
void removeScratch(const std::string& fixed);

// Runs work in a forked child (for state that exists once per process, such
// as the log) and fails the test unless the child ends normally.
void inChild(const std::function<void()>& work);
