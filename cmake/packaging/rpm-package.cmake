# The .rpm, for Fedora, openSUSE and the other rpm-based systems:
# dimtools-VERSION-1.ARCH.rpm, with what the .deb says of itself, rebuilt
# bit for bit as the .deb is. Included by CMakeLists.txt where rpmbuild is
# installed.
list(APPEND CPACK_GENERATOR RPM)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE 1)
set(CPACK_RPM_PACKAGE_LICENSE MIT)
set(CPACK_RPM_PACKAGE_GROUP "Development/Tools")
set(CPACK_PACKAGE_RELOCATABLE OFF)
# The .deb's description, paragraphs parted by an empty line.
string(REPLACE "\n.\n" "\n\n" CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
if(CMAKE_CROSSCOMPILING)
    dimtools_rpm_architecture(CPACK_RPM_PACKAGE_ARCHITECTURE)
endif()
# Static programs need no library, and no loader either: rpmbuild would
# take a static-pie program's dynamic section for a need of the loader
# (rtld(GNU_HASH)), which a system without glibc's loader cannot meet.
if(DIMTOOLS_STATIC)
    set(CPACK_RPM_PACKAGE_AUTOREQ OFF)
endif()
# One compressor, run on one thread, whose output depends on nothing else.
set(CPACK_RPM_COMPRESSION_TYPE xz)

set(doc /usr/${CMAKE_INSTALL_DOCDIR})
set(CPACK_RPM_USER_FILELIST
    "%doc ${doc}/README.md" "%doc ${doc}/outputs.md" "%doc ${doc}/CHANGELOG.md" "%doc ${doc}/NOTICES"
    "%license /usr/share/licenses/dimtools/LICENSE")
# Folders of the system, which other packages own.
list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
     /usr/share/licenses /usr/share/man /usr/share/man/man1 /usr/lib/cmake
     /usr/${CMAKE_INSTALL_LIBDIR}/cmake)

# Reproducible: the build time and every file's time from the release time
# (SOURCE_DATE_EPOCH, set by cpack-project.cmake), a build host that does
# not depend on the machine, and none of rpmbuild's steps after the install
# (CPack strips the programs; the man pages are compressed with gzip -n),
# nor the build-ID links and debug package it would add.
string(CONFIGURE [=[
%define packager @CPACK_PACKAGE_CONTACT@
%define _buildhost reproducible
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_epoch 1
%define __os_install_post %{nil}
%define debug_package %{nil}
%define _build_id_links none]=] CPACK_RPM_SPEC_MORE_DEFINE @ONLY)
