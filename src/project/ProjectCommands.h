#pragma once

class FormMain;

// The File menu's project commands, run on the main window.

// New Transcription Project: offers to save the current work, empties the
// workspace and asks for the media file to transcribe. The media is opened
// by the first Play.
void newTranscriptionProject(FormMain& window);
