/* Forwarders to libka.dll.
   Generated from forwarding/array_family.inc by interface_generator: edit the table, then
   build the target "regenerate". */
#ifndef TVCVRTRT_ARRAY_FAMILY_H
#define TVCVRTRT_ARRAY_FAMILY_H

#include "tvcvrtrt/forwarding_types.h"

#ifdef __cplusplus
/* Loads libka.dll and binds every slot of the family; throws tvc::apiException. */
void libka_init_library();
#endif

TVCVRTRT_BEGIN_C

void kaSetProperty_700_proxy(const void *array, int32_t, const void *, const void *);
void *kaGetProperty_700_proxy(const void *array, int32_t, const void *);
void kaSetField_700_proxy(const void *array, int32_t, const void *, const void *);
void kaSetFieldByNumber_700_proxy(const void *array, int32_t, int32_t, const void *);
void *kaGetFieldByNumber_700_proxy(const void *array, int32_t, int32_t);
void *kaGetField_700_proxy(const void *array, int32_t, const void *);
void *kaCreateStructMatrix_700_proxy(int32_t rows, int32_t columns, int32_t, const void *);
void *kaCreateCellMatrix_700_proxy(int32_t rows, int32_t columns);
void *kaCreateCharMatrixFromStrings_700_proxy(int32_t, const void *);
int32_t kaGetString_700_proxy(const void *array, const void *, int32_t);
int32_t kaGetNumberOfDimensions_700_proxy(const void *array);
void *kaGetDimensions_700_proxy(const void *array);
int32_t kaSetDimensions_700_proxy(const void *array, const void *, int32_t);
void kaSetIr_700_proxy(const void *array, const void *ir);
void *kaGetIr_700_proxy(const void *array);
void kaSetJc_700_proxy(const void *array, const void *jc);
void *kaGetJc_700_proxy(const void *array);
void *kaCreateStructArray_700_proxy(int32_t, const void *, int32_t, const void *);
void *kaCreateCharArray_700_proxy(int32_t, const void *);
void *kaCreateNumericArray_700_proxy(int32_t, const void *, int32_t, int32_t);
void *kaCreateCellArray_700_proxy(int32_t, const void *);
void *kaCreateLogicalArray_700_proxy(int32_t, const void *);
void *kaGetCell_700_proxy(const void *array, int32_t);
void kaSetCell_700_proxy(const void *array, int32_t, const void *);
void kaSetNzmax_700_proxy(const void *array, int32_t nzmax);
void kaSetN_700_proxy(const void *array, int32_t n);
void kaSetM_700_proxy(const void *array, int32_t m);
int32_t kaGetNzmax_700_proxy(const void *array);
void *kaCreateDoubleMatrix_700_proxy(int32_t rows, int32_t columns, int32_t);
void *kaCreateNumericMatrix_700_proxy(int32_t rows, int32_t columns, int32_t, int32_t);
void *kaCreateLogicalMatrix_700_proxy(int32_t rows, int32_t columns);
void *kaCreateSparse_700_proxy(int32_t, int32_t, int32_t, int32_t);
void *kaCreateSparseLogicalMatrix_700_proxy(int32_t rows, int32_t columns, int32_t);
void kaGetNChars_700_proxy(const void *array, const void *, int32_t);
void *kaCreateStringFromNChars_700_proxy(const void *, int32_t);
int32_t kaCalcSingleSubscript_700_proxy(const void *array, int32_t, const void *);
void *kaMalloc_proxy(size_t size);
void *kaCalloc_proxy(size_t count, size_t size);
void kaFree_proxy(const void *memory);
void *kaRealloc_proxy(const void *memory, size_t size);
int32_t kaGetClassID_proxy(const void *array);
void *kaGetData_proxy(const void *array);
void kaSetData_proxy(const void *array, const void *data);
bool kaIsNumeric_proxy(const void *array);
bool kaIsCell_proxy(const void *array);
bool kaIsLogical_proxy(const void *array);
bool kaIsChar_proxy(const void *array);
bool kaIsStruct_proxy(const void *array);
bool kaIsOpaque_proxy(const void *array);
bool kaIsFunctionHandle_proxy(const void *array);
bool kaIsObject_proxy(const void *array);
void *kaGetImagData_proxy(const void *array);
void kaSetImagData_proxy(const void *array, const void *imagData);
bool kaIsComplex_proxy(const void *array);
bool kaIsSparse_proxy(const void *array);
bool kaIsDouble_proxy(const void *array);
bool kaIsSingle_proxy(const void *array);
bool kaIsInt8_proxy(const void *array);
bool kaIsUint8_proxy(const void *array);
bool kaIsInt16_proxy(const void *array);
bool kaIsUint16_proxy(const void *array);
bool kaIsInt32_proxy(const void *array);
bool kaIsUint32_proxy(const void *array);
bool kaIsInt64_proxy(const void *array);
bool kaIsUint64_proxy(const void *array);
size_t kaGetNumberOfDimensions_730_proxy(const void *array);
void *kaGetDimensions_730_proxy(const void *array);
size_t kaGetNumberOfElements_proxy(const void *array);
void *kaGetPr_proxy(const void *array);
void kaSetPr_proxy(const void *array, const void *pr);
void *kaGetPi_proxy(const void *array);
void kaSetPi_proxy(const void *array, const void *pi);
void *kaGetChars_proxy(const void *array);
int32_t kaGetUserBits_proxy(const void *array);
void kaSetUserBits_proxy(const void *array, int32_t userBits);
double kaGetScalar_proxy(const void *array);
bool kaIsFromGlobalWS_proxy(const void *array);
void kaSetFromGlobalWS_proxy(const void *array, uint8_t fromGlobalWS);
size_t kaGetM_proxy(const void *array);
void kaSetM_730_proxy(const void *array, size_t m);
size_t kaGetN_proxy(const void *array);
bool kaIsEmpty_proxy(const void *array);
void *kaGetIr_730_proxy(const void *array);
void kaSetIr_730_proxy(const void *array, const void *ir);
void *kaGetJc_730_proxy(const void *array);
void kaSetJc_730_proxy(const void *array, const void *jc);
size_t kaGetNzmax_730_proxy(const void *array);
void kaSetNzmax_730_proxy(const void *array, size_t nzmax);
size_t kaGetElementSize_proxy(const void *array);
size_t kaCalcSingleSubscript_730_proxy(const void *array, size_t, const void *);
int32_t kaGetNumberOfFields_proxy(const void *array);
void *kaGetCell_730_proxy(const void *array, size_t);
void kaSetCell_730_proxy(const void *array, size_t, const void *);
void *kaGetFieldNameByNumber_proxy(const void *array, int32_t);
int32_t kaGetFieldNumber_proxy(const void *array, const void *);
void *kaGetFieldByNumber_730_proxy(const void *array, size_t, int32_t);
void kaSetFieldByNumber_730_proxy(const void *array, size_t, int32_t, const void *);
void *kaGetField_730_proxy(const void *array, size_t, const void *);
void kaSetField_730_proxy(const void *array, size_t, const void *, const void *);
void *kaGetProperty_730_proxy(const void *array, size_t, const void *);
void kaSetProperty_730_proxy(const void *array, size_t, const void *, const void *);
void *kaGetClassName_proxy(const void *array);
bool kaIsClass_proxy(const void *array, const void *);
void *kaCreateNumericMatrix_730_proxy(size_t rows, size_t columns, int32_t, int32_t);
void kaSetN_730_proxy(const void *array, size_t n);
int32_t kaSetDimensions_730_proxy(const void *array, const void *, size_t);
void kaDestroyArray_proxy(const void *array);
void *kaCreateNumericArray_730_proxy(size_t, const void *, int32_t, int32_t);
void *kaCreateCharArray_730_proxy(size_t, const void *);
void *kaCreateDoubleMatrix_730_proxy(size_t rows, size_t columns, int32_t);
void *kaGetLogicals_proxy(const void *array);
void *kaCreateLogicalArray_730_proxy(size_t, const void *);
void *kaCreateLogicalMatrix_730_proxy(size_t rows, size_t columns);
void *kaCreateLogicalScalar_proxy(uint8_t value);
bool kaIsLogicalScalar_proxy(const void *array);
bool kaIsLogicalScalarTrue_proxy(const void *array);
void *kaCreateDoubleScalar_proxy(double value);
void *kaCreateSparse_730_proxy(size_t, size_t, size_t, int32_t);
void *kaCreateSparseLogicalMatrix_730_proxy(size_t rows, size_t columns, size_t);
void kaGetNChars_730_proxy(const void *array, const void *, size_t);
int32_t kaGetString_730_proxy(const void *array, const void *, size_t);
void *kaArrayToString_proxy(const void *);
void *kaCreateStringFromNChars_730_proxy(const void *, size_t);
void *kaCreateString_proxy(const void *);
void *kaCreateCharMatrixFromStrings_730_proxy(size_t, const void *);
void *kaCreateCellMatrix_730_proxy(size_t rows, size_t columns);
void *kaCreateCellArray_730_proxy(size_t, const void *);
void *kaCreateStructMatrix_730_proxy(size_t rows, size_t columns, int32_t, const void *);
void *kaCreateStructArray_730_proxy(size_t, const void *, int32_t, const void *);
void *kaDuplicateArray_proxy(const void *array);
int32_t kaSetClassName_proxy(const void *array, const void *className);
int32_t kaAddField_proxy(const void *, const void *);
void kaRemoveField_proxy(const void *, int32_t);
double kaGetEps_proxy(void);
double kaGetInf_proxy(void);
double kaGetNaN_proxy(void);
bool kaIsFinite_proxy(double);
bool kaIsInf_proxy(double);
bool kaIsNaN_proxy(double);
void kaVErrMsgIdAndTxt_proxy(const char *identifier, const char *format, va_list arguments);
void kaErrMsgTxt_proxy(const char *format, ...);

TVCVRTRT_END_C

#endif
