/* Control ids of the common dialogs, as Windows numbers them. */
#ifndef WINAPI_DLGS_H
#define WINAPI_DLGS_H

#define chx1 0x0410 /* "Read only" */
#define stc1 0x0440 /* the current folder */
#define stc2 0x0441 /* "List files of type:" */
#define stc3 0x0442 /* "File name:" */
#define stc4 0x0443 /* "Folders:" */
#define lst1 0x0460 /* the files */
#define lst2 0x0461 /* the folders */
#define cmb1 0x0470 /* the file types */
#define edt1 0x0480 /* the file name */

#endif
