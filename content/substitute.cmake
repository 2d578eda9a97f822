# Replaces @StudyWebAddress@, @ContactAddress@ and @StudySiteName@ in IN and
# writes OUT; every other byte (Windows-1252, CR LF) is kept as it is.
file(READ ${IN} text)
string(REPLACE "@StudyWebAddress@" "${StudyWebAddress}" text "${text}")
string(REPLACE "@ContactAddress@" "${ContactAddress}" text "${text}")
string(REPLACE "@StudySiteName@" "${StudySiteName}" text "${text}")
file(WRITE ${OUT} "${text}")
