#pragma once
// Asks the study server whether the study still collects answers.
#include "net/nmhttp.h"

#include <string>

namespace fb {

enum class StudyStatus { Error, Closed, Running };

// "zuende" (closed) is tested before "imgang" (running); neither, or any
// error of the request, is a failed connection.
StudyStatus statusFromBody(const std::string& body);
// The request goes to the build's scheme (StudyServerScheme) on host. A
// secure connection that could not be made leaves its reason for the box.
StudyStatus queryStudyStatus(TNMHTTP& http, const std::string& host);

// The address of path on the study server host, with the build's scheme.
std::string studyServerUrl(const std::string& host, const std::string& path);
// The scheme in use: the build's, unless a test set another ("http").
std::string& studyServerScheme();

// The box for an outcome; the running box only where asked for. The error
// box's details say why the last query could not connect securely, if so.
void showStatusMessage(StudyStatus status, const std::string& studyWebAddress, bool showRunning);

} // namespace fb
