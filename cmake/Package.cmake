# The Debian package (scripts/package): the program and the files of data/, with the dependencies that
# dpkg-shlibdeps finds in the program itself.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rip the tracks of an audio CD to FLAC, MP3 or WAV files")
# One line of the package's long description each, at most 80 characters with its leading blank.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "QUARLE reads the tracks of an audio CD with jitter correction\n"
       "(libcdio-paranoia) and writes each one as a WAV file or, encoded while it is\n"
       "read, as a FLAC (libFLAC) or MP3 (LAME) file, tagged with the release's cover\n"
       "and ReplayGain values. Every track is checked against the AccurateRip\n"
       "database and the extraction is logged. The disc and track titles can come from\n"
       "MusicBrainz, a CDDB disc database or the disc's CD-Text, directly or through an\n"
       "HTTP proxy, and can be edited. Its texts are Italian.")
# Debian wants a contact on a real mail domain; the project has none of its own, so GitHub's no-reply one.
set(CPACK_PACKAGE_CONTACT "The QUARLE developers <quarle@users.noreply.github.com>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads OpenSSL for HTTPS as a plugin, which dpkg-shlibdeps does not see; the certificates to check
# servers against come from the system's store. Qt's own texts (the buttons of the boxes, the folder
# browser) are Italian only with Qt's translations, which the program loads from Qt's folder at start.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3, ca-certificates, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/quarle/quarle")
include(CPack)
