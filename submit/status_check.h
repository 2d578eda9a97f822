#pragma once
// Asks the study server whether the study still collects answers.
#include "net/nmhttp.h"

#include <string>

namespace fb {

enum class StudyStatus { Error, Closed, Running };

// "zuende" (closed) is tested before "imgang" (running); neither, or any
// error of the request, is a failed connection.
StudyStatus statusFromBody(const std::string& body);
StudyStatus queryStudyStatus(TNMHTTP& http, const std::string& host);

// The box for an outcome; the running box only where asked for.
void showStatusMessage(StudyStatus status, const std::string& studyWebAddress, bool showRunning);

} // namespace fb
