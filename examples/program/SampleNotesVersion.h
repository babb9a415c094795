#pragma once
// The version of Sample Notes, shared by its version block and its window.
#define SAMPLE_NOTES_VERSION_NUMBERS 1,2,0,0
#define SAMPLE_NOTES_VERSION_TEXT "1.2.0.0"
